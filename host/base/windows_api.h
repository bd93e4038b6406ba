// The Windows API for the Windows build of the host, without the macros that clash with the
// standard library (min, max) and without the parts of windows.h the host never uses.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
