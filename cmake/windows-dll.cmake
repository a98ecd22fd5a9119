# MORVANTEPORTIO.DLL: the card logic and the Windows platform file, with no C
# runtime, importing only KERNEL32 and DlPortIO.dll, loadable on Windows 95.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(dll_entry _DllMain@12)
else()
    set(dll_entry DllMain)
endif()

# Import library for DlPortIO.dll, made from our own list of its two
# functions. 64-bit names carry no @n stack size.
file(READ ${CMAKE_SOURCE_DIR}/src/platform/DlPortIO.def dlportio_def)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(REGEX REPLACE "@[0-9]+" "" dlportio_def "${dlportio_def}")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/implib/DlPortIO.def "${dlportio_def}")
set(dlportio_implib ${CMAKE_BINARY_DIR}/implib/libDlPortIO.a)
add_custom_command(OUTPUT ${dlportio_implib}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${CMAKE_BINARY_DIR}/implib/DlPortIO.def -l ${dlportio_implib}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/DlPortIO.def
    COMMENT "Import library for DlPortIO.dll")
add_custom_target(dlportio_implib DEPENDS ${dlportio_implib})

configure_file(${CMAKE_SOURCE_DIR}/src/platform/win32_version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

add_library(morvanteportio SHARED
    $<TARGET_OBJECTS:morvante_core>
    ${platform_win32}
    ${CMAKE_BINARY_DIR}/version.rc
    MORVANTEPORTIO.def)
add_dependencies(morvanteportio dlportio_implib)
target_include_directories(morvanteportio PRIVATE include src)
target_link_libraries(morvanteportio PRIVATE morvante_library_flags)
target_compile_options(morvante_core PRIVATE -fno-asynchronous-unwind-tables)
target_link_options(morvanteportio PRIVATE
    -nostdlib
    -Wl,--entry,${dll_entry}
    -Wl,--kill-at -Wl,--enable-stdcall-fixup   # export Init, not Init@0
    -Wl,--no-insert-timestamp           # same sources, same bytes
    -Wl,--major-image-version,${PROJECT_VERSION_MAJOR}
    -Wl,--minor-image-version,${PROJECT_VERSION_MINOR})
target_link_libraries(morvanteportio PRIVATE ${dlportio_implib} kernel32 gcc)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Lean frames for the poll pass: the 32-bit Windows ABI keeps the stack
    # 4-byte aligned and the DLL needs no more, and arguments are pushed. That
    # gives up the stack probe, which only a frame larger than the 4 KiB guard
    # page needs: the build refuses any frame over 1 KiB.
    set(lean_frames -mpreferred-stack-boundary=2 -mno-accumulate-outgoing-args -mno-stack-arg-probe
                    -Werror=frame-larger-than=1024)
    target_compile_options(morvante_core PRIVATE ${lean_frames})
    target_compile_options(morvanteportio PRIVATE ${lean_frames})
    # Windows 95 refuses an image that asks for a later subsystem or OS.
    target_link_options(morvanteportio PRIVATE
        -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
endif()
set_target_properties(morvanteportio PROPERTIES
    OUTPUT_NAME MORVANTEPORTIO
    PREFIX ""
    SUFFIX ".DLL"
    IMPORT_PREFIX "lib"
    IMPORT_SUFFIX ".dll.a"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/implib)  # the linker's own, unused

# Import libraries for host programs, beside the DLL: libMORVANTEPORTIO.dll.a
# (GNU format) for MinGW, MORVANTEPORTIO.lib (short format, as lib.exe makes
# it) for MSVC. Both import the bare names; on 32-bit they resolve the
# stdcall-decorated symbols that a host compiled with the header refers to.
find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(llvm_machine i386)
else()
    set(llvm_machine i386:x86-64)
endif()
set(implib_def ${CMAKE_BINARY_DIR}/implib/MORVANTEPORTIO-implib.def)
add_custom_command(TARGET morvanteportio POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDEF=${CMAKE_SOURCE_DIR}/MORVANTEPORTIO.def -DOUT=${implib_def}
            -DNM=${CMAKE_NM} "-DOBJECTS=$<TARGET_OBJECTS:morvante_core>"
            -P ${CMAKE_SOURCE_DIR}/cmake/make-implib-def.cmake
    COMMAND ${CMAKE_DLLTOOL} -k -d ${implib_def} -l ${CMAKE_BINARY_DIR}/libMORVANTEPORTIO.dll.a
    COMMAND ${LLVM_DLLTOOL} -m ${llvm_machine} -k -d ${implib_def} -l ${CMAKE_BINARY_DIR}/MORVANTEPORTIO.lib
    BYPRODUCTS ${CMAKE_BINARY_DIR}/libMORVANTEPORTIO.dll.a ${CMAKE_BINARY_DIR}/MORVANTEPORTIO.lib
    COMMENT "Import libraries for MORVANTEPORTIO.DLL"
    VERBATIM)
