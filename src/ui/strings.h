// The executable's string table.
#pragma once
#include <string>

// The string with that identifier, or empty text when there is none.
std::wstring LoadResString(unsigned id);
// The string used as a printf format ("%s" takes a wide string).
std::wstring FormatResString(unsigned id, ...);
