#pragma once
// The one way into <windows.h> for the platform layer: every Windows source
// includes this header instead, so the settings below hold everywhere.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00  // Windows 10; mingw-w64's default may be lower
#undef WINVER
#define WINVER _WIN32_WINNT

#include <windows.h>
