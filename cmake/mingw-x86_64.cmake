# Cross-build the same Windows sources for x86_64: the twin of the shipped 32-bit library, so that
# the Windows tests run under 64-bit Wine on machines whose kernel refuses 32-bit programs. The
# posix-thread compilers and the fully static link are chosen for the same reasons as for i686.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's /usr/bin/wine picks the 32-bit loader whenever 32-bit Wine is installed, so the 64-bit
# loader is called by its path.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
set(PEL_WINE_ARCH win64)
set(PEL_WIDL x86_64-w64-mingw32-widl)
set(PEL_WIDL_FLAGS --win64 -D_WIN64)
set(PEL_WINE_LIB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(PEL_OBJDUMP x86_64-w64-mingw32-objdump)
