# ctest: no file under src/ includes a header of the simulator in sim/. The
# library's card and port code run on the real card; only the simulated-card
# build brings the simulator in, through its own platform file in sim/.
# Run as: cmake -DSRC=... -DSIM=... -P this-file
cmake_policy(VERSION 3.25)
file(GLOB sim_headers RELATIVE "${SIM}" "${SIM}/*.h")
file(GLOB_RECURSE sources "${SRC}/*.h" "${SRC}/*.cpp" "${SRC}/*.c")
set(offences "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
        foreach(header IN LISTS sim_headers)
            if(line MATCHES "[\"</]${header}[\">]" OR line MATCHES "sim/")
                list(APPEND offences "${source}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(offences)
    list(JOIN offences "\n  " shown)
    message(FATAL_ERROR "src/ includes the simulator:\n  ${shown}")
endif()
list(LENGTH sources n)
message(STATUS "${n} files under src/ include nothing from sim/")
