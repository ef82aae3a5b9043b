// The in-memory dialog template of the error report: built at run time so
// that a failure can be shown even when the resources cannot be trusted.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace error_dialog {
constexpr uint16_t kIconId = 500;
constexpr uint16_t kTextId = 501;
constexpr uint16_t kDetailsId = 502;
constexpr uint16_t kDetailsButtonId = 503;
constexpr uint16_t kCopyId = 504;
constexpr uint16_t kCloseId = 1;

// Lines the main text is given room for: its LF count plus one, 3 to 30.
int MainTextLines(const std::wstring& text);
// Height of the main text and the extra height of the dialog, in dialog
// units: 8.3 per line, truncated.
int MainTextHeight(int lines);
int ExtraHeight(int lines);

// A classic DLGTEMPLATE with its items, as 16-bit words (DWORD-aligned from
// the start of the vector's storage). The details controls are left out when
// details is empty.
std::vector<uint16_t> BuildTemplate(const std::wstring& caption, const std::wstring& text,
                                    const std::wstring& details, bool has_owner);
}  // namespace error_dialog
