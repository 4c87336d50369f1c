// Private to serial/win32: <windows.h> with what this folder expects of it,
// and what MinGW's headers may lack.
#pragma once

// First: <windows.h> defines macros of the same names and values as its
// constants, which would otherwise break their declarations.
#include "serial/CommMessage.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "text/win32/WideText.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace vemkard::win32 {

// The system's own text for an error code, in the user's language, without
// the line break it ends with; empty when the system has none.
std::string SystemMessage(DWORD error);

}  // namespace vemkard::win32
