# ctest: the PE file of MORVANTEPORTIO.DLL is what host programs and old
# Windows loaders need it to be.
#   - export directory names "MORVANTEPORTIO.DLL" and holds exactly the export
#     list's names, undecorated, at the export list's ordinals;
#   - imports from KERNEL32.dll and DlPortIO.dll only, DlPortIO's two byte
#     functions only, and (32-bit) only KERNEL32 functions Windows 95 has;
#   - carries a VERSIONINFO resource;
#   - 32-bit: subsystem and OS version 4.0 and no instruction newer than the
#     i486 (no cmov/fcmov/fcomi, no MMX/SSE, no Pentium additions).
# Run as: cmake -DDLL=... -DDEF=... -DOBJDUMP=... -DBITS=32|64 -P this-file
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/exports.cmake)

set(failures "")
macro(fail msg)
    string(APPEND failures "  ${msg}\n")
endmacro()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE pe RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${DLL}")
endif()

# ---- Exports -------------------------------------------------------------------
if(NOT pe MATCHES "\nName[ \t]+[0-9a-f]+ MORVANTEPORTIO\\.DLL\n")
    fail("export directory does not name MORVANTEPORTIO.DLL")
endif()
if(NOT pe MATCHES "Ordinal Base[ \t]+1\n")
    fail("ordinal base is not 1")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t\\[ *[0-9]+\\] [^\n]*\n)*" name_table "${pe}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${name_table}")
set(found "")
foreach(row IN LISTS rows)
    string(REGEX MATCH "\\[ *([0-9]+)\\] (.+)" _ "${row}")
    math(EXPR ordinal "${CMAKE_MATCH_1} + 1")
    list(APPEND found "${CMAKE_MATCH_2}@${ordinal}")
endforeach()
morvante_read_numbered_exports("${DEF}" expected)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
    fail("exports (name@ordinal): ${found}; expected ${expected}")
endif()

# ---- Imports -------------------------------------------------------------------
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_rows "${pe}")
set(dlls "")
foreach(row IN LISTS dll_rows)
    string(REPLACE "DLL Name: " "" name "${row}")
    list(APPEND dlls "${name}")
endforeach()
list(SORT dlls)
if(NOT dlls STREQUAL "DlPortIO.dll;KERNEL32.dll")
    fail("imports from ${dlls}; only KERNEL32.dll and DlPortIO.dll are allowed")
endif()

# Functions imported from one DLL: the rows after its "DLL Name:" line.
function(imported_from dll out)
    string(FIND "${pe}" "DLL Name: ${dll}\n" at)
    set(names "")
    if(at GREATER -1)
        string(SUBSTRING "${pe}" ${at} -1 tail)
        string(REGEX MATCH "DLL Name: [^\n]+\n[^\n]*Member-Name[^\n]*\n((\t[0-9a-f]+\t +[0-9]+ +[A-Za-z0-9_]+\n)*)" _ "${tail}")
        string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\n" lines "${CMAKE_MATCH_1}")
        foreach(l IN LISTS lines)
            string(STRIP "${l}" l)
            list(APPEND names "${l}")
        endforeach()
    endif()
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

imported_from(DlPortIO.dll driver_functions)
list(SORT driver_functions)
if(NOT driver_functions STREQUAL "DlPortReadPortUchar;DlPortWritePortUchar")
    fail("DlPortIO.dll functions imported: ${driver_functions}")
endif()

imported_from(KERNEL32.dll kernel_functions)
if(NOT kernel_functions)
    fail("no KERNEL32.dll functions found in the import table")
endif()
if(BITS EQUAL 32)
    # KERNEL32 exports the DLL may use: all present in Windows 95's KERNEL32.
    set(windows95_kernel32 GetVersion GetTickCount QueryPerformanceCounter
        QueryPerformanceFrequency GetModuleHandleA DisableThreadLibraryCalls)
    foreach(f IN LISTS kernel_functions)
        if(NOT f IN_LIST windows95_kernel32)
            fail("KERNEL32!${f} is not known to be in Windows 95")
        endif()
    endforeach()
endif()

# ---- Resources and versions ------------------------------------------------------
if(NOT pe MATCHES "Type Table:[^\n]*\n[^\n]*Entry: ID: 0x000010,")
    fail("no VERSIONINFO (type 16) resource")
endif()
if(BITS EQUAL 32)
    foreach(field MajorOSystemVersion MajorSubsystemVersion)
        if(NOT pe MATCHES "${field}\t+4\n")
            fail("${field} is not 4")
        endif()
    endforeach()
    foreach(field MinorOSystemVersion MinorSubsystemVersion)
        if(NOT pe MATCHES "${field}\t+0\n")
            fail("${field} is not 0")
        endif()
    endforeach()

    # ---- Instructions: i486 at most -------------------------------------------
    execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${DLL}" OUTPUT_VARIABLE code)
    string(REGEX MATCHALL "\n *[0-9a-f]+:\t[^\n]*" insns "${code}")
    set(newer "")
    foreach(line IN LISTS insns)
        if(line MATCHES "\t(cmov[a-z]*|fcmov[a-z]*|f[u]?comip?|cmpxchg8b|rdtsc|rdmsr|cpuid|sysenter|syscall|movbe|popcnt|lzcnt|tzcnt|ud1|emms|prefetch[a-z0-9]*|[a-z]*fence)([ \t]|$)"
           OR line MATCHES "%[xy]?mm[0-9]")
            list(APPEND newer "${line}")
        endif()
    endforeach()
    if(newer)
        list(LENGTH newer n)
        list(SUBLIST newer 0 5 shown)
        fail("${n} instructions newer than the i486, e.g.:${shown}")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
message(STATUS "${DLL}: exports ${found}; imports ${dlls}: ${kernel_functions} ${driver_functions}")
