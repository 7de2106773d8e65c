#pragma once
// The Windows API for the files of this folder only: no header that another folder includes
// brings it in. windows.h defines CreateEvent as a macro, which would rename the seam's
// operation of that name; the ANSI function is called by its own name here instead.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// windows.h first: these need its types.
#include <ntddscsi.h>
#include <winioctl.h>

#undef CreateEvent
