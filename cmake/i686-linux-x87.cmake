# 32-bit x86 Linux with the DLL's x87 code generation; the static programs it
# builds run on a 64-bit-only kernel under qemu-i386-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
include(${CMAKE_CURRENT_LIST_DIR}/x87-codegen.cmake)
set(CMAKE_C_FLAGS_INIT "-m32 ${MORVANTE_X87_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-m32 ${MORVANTE_X87_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
