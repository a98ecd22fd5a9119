# Code generation of every 32-bit x86 build: the Windows DLL and the 32-bit
# test suite. The DLL must run on the i486 and Pentium machines that Windows
# 95 shipped on, so no cmov, MMX or SSE, and floating point on the x87.
set(MORVANTE_X87_FLAGS "-march=i486 -mtune=generic -mfpmath=387 -mno-mmx -mno-sse")
