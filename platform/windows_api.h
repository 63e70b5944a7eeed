#pragma once

// The Win32 headers, for the Windows backends only. Their function-name macros that collide
// with this program's own names are removed; backends call the wide-character functions by
// their full names.
#include <windows.h>

#undef Yield
#undef MessageBox
#undef CreateFile
