# Cross toolchain: 64-bit Windows programs built on Debian with mingw-w64.
#
# Usage: cmake --preset windows   (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
# Needs: g++-mingw-w64-x86-64-posix (the POSIX thread model, which GoogleTest
# needs: its MinGW port uses std::mutex, which the win32 model of GCC 12 lacks)
# and, to run the tests, wine with wine64: CTest runs every test program
# through tools/wine-run, which keeps a private Wine prefix inside the build tree.
# The exe links nothing of winpthread all the same: its code takes no lock and
# keeps nothing per thread (package.runtime checks the link map).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARNET_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER ${QUARNET_MINGW_PREFIX}-g++-posix)
find_program(CMAKE_C_COMPILER ${QUARNET_MINGW_PREFIX}-gcc-posix)
find_program(CMAKE_RC_COMPILER ${QUARNET_MINGW_PREFIX}-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_C_COMPILER)
    message(FATAL_ERROR "${QUARNET_MINGW_PREFIX}-g++-posix not found: apt-get install g++-mingw-w64-x86-64-posix")
endif()

# Look for libraries and headers of the target only, programs of the host only.
set(CMAKE_FIND_ROOT_PATH /usr/${QUARNET_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every test program runs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
