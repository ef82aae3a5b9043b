#include "ui/message_box.h"

#include <vector>

#include "core/stable_numbers.h"
#include "platform/core/logger.h"
#include "ui/common_controls.h"
#include "ui/strings.h"
#include "ui/ui_state.h"
#include "ui/window_registry.h"

namespace {
// Loads a string whatever its length: the buffer doubles while the text fills it.
std::wstring LoadWholeString(unsigned id) {
  for (size_t size = 256;; size *= 2) {
    std::vector<wchar_t> buffer(size);
    int length = LoadStringW(WindowRegistry::Instance(), id, buffer.data(), static_cast<int>(size));
    if (length <= 0) return std::wstring();
    if (static_cast<size_t>(length) < size - 1) return std::wstring(buffer.data(), length);
  }
}

std::wstring Resolve(const MessageText& text) {
  return text.id != 0 ? LoadWholeString(text.id) : text.text;
}

// The active window, else the foreground window (which gets the foreground
// back after the box).
HWND ChooseOwner(bool* restore_foreground) {
  HWND owner = GetActiveWindow();
  *restore_foreground = false;
  if (!owner) {
    owner = GetForegroundWindow();
    *restore_foreground = owner != nullptr;
  }
  return owner;
}

int ShowOwned(UINT type, const MessageText& text) {
  bool restore = false;
  HWND owner = ChooseOwner(&restore);
  int result = ShowMessage(owner, type, text);
  if (restore) SetForegroundWindow(owner);
  return result;
}
}  // namespace

int ShowMessage(HWND owner, UINT type, const MessageText& text, const MessageText& caption) {
  const std::wstring body = Resolve(text);
  const std::wstring title = Resolve(caption);
  // A message may come before the run has decided to show windows.
  EnsureCommonControlClasses();
  return MessageBoxW(owner, body.c_str(), caption.empty() ? nullptr : title.c_str(), type);
}

void ReportErrorMessage(const std::wstring& text) {
  if (LoggingEnabled) LOGGER.Write(text);
  if (!InteractiveUi) {
    OutputDebugStringW(text.c_str());
    return;
  }
  ShowOwned(MB_ICONERROR, MessageText(text));
}

bool AskForDiskSpace(const std::wstring& folder, const std::function<bool()>& has_space) {
  if (!InteractiveUi) return false;
  for (;;) {
    int answer = ShowOwned(MB_RETRYCANCEL | MB_ICONERROR,
                           MessageText(FormatResString(IDS_NOT_ENOUGH_SPACE, folder.c_str())));
    if (answer != IDRETRY) return false;  // Cancel, or no box could be shown
    if (has_space && has_space()) return true;
  }
}
