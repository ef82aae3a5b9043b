#include "ui/progress_state.h"

#include "core/stable_numbers.h"
#include "ui/dialog_support.h"
#include "ui/strings.h"
#include "ui/ui_state.h"
#include "ui/window_registry.h"
#include "util/version_resource.h"

namespace {
constexpr UINT kCloseYourself = WM_USER + 1;

// The Skip button is hidden in every use: the text then takes its room.
void LayOut(HWND window, ProgressState* state) {
  HWND skip = GetDlgItem(window, IDCANCEL);
  HWND text = GetDlgItem(window, IDC_STATUS_TEXT);
  ShowWindow(skip, state->show_skip ? SW_SHOW : SW_HIDE);
  InvalidateRect(skip, nullptr, TRUE);
  RECT text_rect, skip_rect;
  GetWindowRect(text, &text_rect);
  GetWindowRect(skip, &skip_rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&text_rect), 2);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&skip_rect), 2);
  if (state->text_right_edge < 0) state->text_right_edge = text_rect.right;
  const int right = state->show_skip ? state->text_right_edge : skip_rect.right;
  SetWindowPos(text, nullptr, 0, 0, right - text_rect.left, text_rect.bottom - text_rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK StatusProcedure(HWND window, UINT message, WPARAM, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<ProgressState*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, lparam);
      SetProgramIcons(window);
      CenterOnOwner(window);
      LayOut(window, state);
      return TRUE;
    }
    case kCloseYourself:
      DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      WindowRegistry::Remove(window);
      return FALSE;
  }
  return FALSE;
}
}  // namespace

void EnsureTitle(ProgressState* state) {
  if (!state->title.empty()) return;
  if (state->product_name.empty()) ReadProductName(state->version_file, &state->product_name);
  state->title = FormatResString(IDS_SETUP_TITLE, state->product_name.c_str());
}

void ShowStatus(ProgressState* state, const std::wstring& text) {
  state->status_text = text;
  if (!InteractiveUi) return;
  if (!state->window) {
    state->window =
        CreateDialogParamW(WindowRegistry::Instance(), MAKEINTRESOURCEW(IDD_STATUS_WINDOW),
                           GetActiveWindow(), StatusProcedure, reinterpret_cast<LPARAM>(state));
    if (!state->window) return;
    state->thread = GetCurrentThreadId();
    WindowRegistry::Add(state->window);
  } else {
    LayOut(state->window, state);
  }
  EnsureTitle(state);
  SetWindowTextW(state->window, state->title.c_str());
  SetDlgItemTextW(state->window, IDC_STATUS_TEXT, text.c_str());
}

void CloseStatus(ProgressState* state) {
  HWND window = state->window;
  if (!window) return;
  state->window = nullptr;
  if (state->thread == GetCurrentThreadId()) {
    DestroyWindow(window);
    return;
  }
  PostMessageW(window, kCloseYourself, 0, 0);
  while (IsWindow(window)) Sleep(10);
}
