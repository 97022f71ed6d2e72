# Cross-build for 32-bit Windows with the posix-thread MinGW-w64 compilers (the win32-thread
# variant lacks std::mutex and std::thread), fully static so that nothing needs MinGW's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(PEL_WINE_ARCH win32)
set(PEL_WIDL i686-w64-mingw32-widl)
set(PEL_WIDL_FLAGS --win32)
set(PEL_WINE_LIB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
set(PEL_OBJDUMP i686-w64-mingw32-objdump)
