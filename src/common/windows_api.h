// <windows.h> as every Windows-only part of the program includes it: the lean
// set of its headers, and no min and max macros to clash with the standard
// library's. Empty elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
