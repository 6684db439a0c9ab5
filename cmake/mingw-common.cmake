# The -posix compilers: the win32 thread model has no std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${RVL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RVL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RVL_MINGW_TRIPLE}-windres)
set(RVL_WIDL ${RVL_MINGW_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${RVL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every .exe and .dll runs on a clean Windows with no MinGW runtime DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs of either width run under Wine in a prefix private to the build folder: wine64 starts
# i686 programs through Wine's 32-bit side (wine32) in the same 64-bit prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
