#pragma once

// The Win32 headers, for the Windows backends only. Their function-name macros that collide
// with this program's own names are removed; backends call the wide-character functions by
// their full names.
#include <windows.h>

#undef Yield
#undef MessageBox
#undef CreateFile

// Stock resources (IDC_ARROW, IDI_...) are numbers dressed as narrow names; the W calls take
// them as wide names.
inline const wchar_t* StockResource(const char* id) { return reinterpret_cast<const wchar_t*>(id); }
