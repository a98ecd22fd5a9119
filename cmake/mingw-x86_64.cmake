# 64-bit Windows DLL: x86_64-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORVANTE_TRIPLET x86_64-w64-mingw32)
# The posix thread model: the Windows test program's GoogleTest needs
# std::mutex. The DLL itself uses no threads and links no runtime at all.
set(CMAKE_C_COMPILER ${MORVANTE_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVANTE_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVANTE_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MORVANTE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Nothing beyond what each target asks for: the DLL must import KERNEL32 only.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
