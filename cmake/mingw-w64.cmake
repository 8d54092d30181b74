# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# so that std::thread and friends exist). The C and C++ runtimes and
# winpthread are linked statically: the program needs no DLL that Windows
# does not ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WT_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${WT_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not hand the host's Linux libraries to the cross build.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${WT_MINGW}/lib/pkgconfig)

# -static also takes libwinpthread's archive instead of its DLL. A release
# leaves out its symbols, which no Windows debugger reads anyway.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Programs built here run under Wine, in a prefix that the script makes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
