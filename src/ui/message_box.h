// Message boxes: errors and questions for the user, never shown in silent runs.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// A text given directly or by string-table identifier (below 0x10000).
struct MessageText {
  MessageText() = default;
  explicit MessageText(unsigned id) : id(id) {}
  explicit MessageText(std::wstring text) : text(std::move(text)) {}
  bool empty() const { return id == 0 && text.empty(); }
  unsigned id = 0;
  std::wstring text;
};

// MessageBoxW with texts loaded from the string table as needed, however long;
// an empty caption gives the system's default caption. Returns the box's result.
int ShowMessage(HWND owner, UINT type, const MessageText& text,
                const MessageText& caption = MessageText());
// Logs the text; then shows it as an error box, or, in silent runs, sends it
// to the debugger output only.
void ReportErrorMessage(const std::wstring& text);
// Asks the user to free space in folder until has_space() says it suffices
// (true) or the user cancels (false). False at once in silent runs.
bool AskForDiskSpace(const std::wstring& folder, const std::function<bool()>& has_space);
