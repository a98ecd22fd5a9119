# Builds the Python package's wheel for one platform, carrying its card
# libraries: stages python/ with the libraries in morvanteportio/lib/, then
# has pip (in a virtual environment over Debian's setuptools and wheel; no
# package index) build the wheel, tagged py3-none-PLATFORM.
# Run as: cmake -DPYTHON=... -DSOURCE=python/ -DSTAGE=... -DVENV=... -DOUT=dir
#               -DPLATFORM=linux_x86_64|win32|win_amd64 -DFILES=src=dest;... -P this-file
# FILES pairs a built file with its path under morvanteportio/lib/.
cmake_policy(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ARGN}\n${out}\n${err}")
    endif()
endfunction()

file(REMOVE_RECURSE "${STAGE}")
file(COPY "${SOURCE}/src" "${SOURCE}/pyproject.toml" "${SOURCE}/setup.py" "${SOURCE}/README.md"
     DESTINATION "${STAGE}" PATTERN "__pycache__" EXCLUDE PATTERN "lib" EXCLUDE)
foreach(pair IN LISTS FILES)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    get_filename_component(folder "${STAGE}/src/morvanteportio/lib/${to}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${from}" "${STAGE}/src/morvanteportio/lib/${to}")
endforeach()

if(NOT EXISTS "${VENV}/bin/python")
    run("${PYTHON}" -m venv --system-site-packages "${VENV}")
endif()
file(GLOB old "${OUT}/morvanteportio-*-py3-none-${PLATFORM}.whl")
if(old)
    file(REMOVE ${old})
endif()
set(ENV{MORVANTEPORTIO_WHEEL_PLATFORM} "${PLATFORM}")
set(ENV{PIP_DISABLE_PIP_VERSION_CHECK} 1)
run("${VENV}/bin/python" -m pip wheel --quiet --no-index --no-build-isolation --no-deps "${STAGE}" -w "${OUT}")
file(GLOB made "${OUT}/morvanteportio-*-py3-none-${PLATFORM}.whl")
if(NOT made)
    message(FATAL_ERROR "pip made no py3-none-${PLATFORM} wheel in ${OUT}")
endif()
message(STATUS "wheel: ${made}")
