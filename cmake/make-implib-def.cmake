# Writes the .def that the import libraries are made from: the export list
# with each 32-bit stdcall name decorated (Init@0, LitTension@8, ...) as the
# compiler decorated it, read from the DLL's own object files. A host that
# declares the functions __stdcall then links to symbols like _Init@0, which
# the import library maps to the DLL's bare export names.
# Run as: cmake -DDEF=... -DOUT=... -DNM=... -DOBJECTS=a;b;c -P this-file
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/exports.cmake)
morvante_read_numbered_exports("${DEF}" exports)

execute_process(COMMAND "${NM}" --defined-only ${OBJECTS} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on the DLL's objects")
endif()

file(STRINGS "${DEF}" library_line REGEX "^LIBRARY")
set(body "${library_line}\nEXPORTS\n")
foreach(export IN LISTS exports)
    string(REGEX MATCH "^(.+)@([0-9]+)$" _ "${export}")
    set(name "${CMAKE_MATCH_1}")
    set(ordinal "${CMAKE_MATCH_2}")
    set(decorated "${name}")
    if(symbols MATCHES " T _${name}(@[0-9]+)\n")
        set(decorated "${name}${CMAKE_MATCH_1}")
    endif()
    string(APPEND body "    ${decorated} @${ordinal}\n")
endforeach()
file(WRITE "${OUT}" "${body}")
