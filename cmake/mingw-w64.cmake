# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the "posix"
# thread model, whose std::thread and std::mutex the tests use).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_kvn_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_kvn_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kvn_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_kvn_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_kvn_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Qt for Windows, from scripts/build-qt-windows.sh, at KVN_QT_WINDOWS; its
# tools (moc, uic) are the build machine's own, of the same version.
if(KVN_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KVN_QT_WINDOWS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Tests run under Wine, in a prefix of the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
