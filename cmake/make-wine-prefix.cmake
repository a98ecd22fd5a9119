# ctest fixture: a fresh Wine prefix for this build, in which the 9x copy of
# the test program runs as Windows 98 (GetVersion() with bit 31 set).
# Run as: cmake -DWINE64=... -DWINESERVER=... -DPREFIX=... -DPROGRAM_9X=... -P this-file
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
set(ENV{WINEPREFIX} "${PREFIX}")
execute_process(COMMAND "${WINE64}" wineboot --init RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "wineboot --init failed (${rc})")
endif()
execute_process(COMMAND "${WINE64}" reg add "HKCU\\Software\\Wine\\AppDefaults\\${PROGRAM_9X}"
                        /v Version /d win98 /f RESULT_VARIABLE rc)
execute_process(COMMAND "${WINESERVER}" -w)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not set ${PROGRAM_9X} to Windows 98 (${rc})")
endif()
