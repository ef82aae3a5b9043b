#include "platform/core/exception_presenter.h"

#include "core/stable_numbers.h"
#include "platform/core/error_dialog_template.h"
#include "platform/core/exceptions.h"
#include "util/wide_format.h"

namespace {
enum ReportAnchor : unsigned { kGrowWidth = 1, kGrowHeight = 2, kMoveRight = 4, kMoveDown = 8 };

RECT ClientRectOf(HWND dialog, int id) {
  RECT rect = {};
  HWND control = GetDlgItem(dialog, id);
  if (!control) return rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
}  // namespace

void ErrorReportDialog::Show(HWND owner, const std::wstring& caption, const std::wstring& text,
                             const std::wstring& details) {
  const std::vector<uint16_t> words =
      error_dialog::BuildTemplate(caption, text, details, owner != nullptr);
  ErrorReportDialog state;
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                          reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner, &Procedure,
                          reinterpret_cast<LPARAM>(&state));
  if (state.details_font_) DeleteObject(state.details_font_);
}

INT_PTR CALLBACK ErrorReportDialog::Procedure(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
    reinterpret_cast<ErrorReportDialog*>(lparam)->Initialize(dialog);
    return TRUE;
  }
  auto* self = reinterpret_cast<ErrorReportDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  if (!self) return FALSE;
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wparam) == IDOK ? 1 : 0);
          return TRUE;
        case error_dialog::kDetailsButtonId:
          self->ToggleDetails();
          return TRUE;
        case error_dialog::kCopyId:
          self->CopyDetails();
          return TRUE;
      }
      return FALSE;
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) self->FollowSize(LOWORD(lparam), HIWORD(lparam));
      return FALSE;
    case WM_GETMINMAXINFO:
      if (self->min_track_.cx) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize.x = self->min_track_.cx;
        info->ptMinTrackSize.y = self->min_track_.cy;
      }
      return FALSE;
  }
  return FALSE;
}

void ErrorReportDialog::Initialize(HWND dialog) {
  dialog_ = dialog;
  HICON icon = static_cast<HICON>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(32513), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  SendDlgItemMessageW(dialog, error_dialog::kIconId, STM_SETICON, reinterpret_cast<WPARAM>(icon),
                      0);
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  details_font_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              FIXED_PITCH | FF_MODERN, L"Courier New");
  SendDlgItemMessageW(dialog, error_dialog::kDetailsId, WM_SETFONT,
                      reinterpret_cast<WPARAM>(details_font_), FALSE);
  GetWindowRect(dialog, &collapsed_);
  expanded_ = collapsed_;
  RECT details = {}, copy = {};
  if (HWND edit = GetDlgItem(dialog, error_dialog::kDetailsId)) GetWindowRect(edit, &details);
  if (HWND button = GetDlgItem(dialog, error_dialog::kCopyId)) GetWindowRect(button, &copy);
  expanded_.bottom = (details.bottom > copy.bottom ? details.bottom : copy.bottom) + 20;
  if (expanded_.bottom < collapsed_.bottom) expanded_.bottom = collapsed_.bottom;

  SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) | WS_CLIPCHILDREN);
  layout_ = {{error_dialog::kTextId, kGrowWidth, {}},
             {error_dialog::kCloseId, kMoveRight, {}},
             {error_dialog::kDetailsId, kGrowWidth | kGrowHeight, {}},
             {error_dialog::kCopyId, kMoveRight | kMoveDown, {}}};
  RecordLayout();
}

void ErrorReportDialog::RecordLayout() {
  RECT client = {}, window = {};
  GetClientRect(dialog_, &client);
  GetWindowRect(dialog_, &window);
  client_at_layout_ = {client.right, client.bottom};
  min_track_ = {window.right - window.left, window.bottom - window.top};
  for (Anchored& control : layout_) control.rect = ClientRectOf(dialog_, control.id);
}

void ErrorReportDialog::FollowSize(int width, int height) {
  if (layout_.empty()) return;
  const int dx = width - client_at_layout_.cx;
  const int dy = height - client_at_layout_.cy;
  const bool visible = IsWindowVisible(dialog_) != FALSE;
  if (visible) SendMessageW(dialog_, WM_SETREDRAW, FALSE, 0);
  for (const Anchored& control : layout_) {
    HWND window = GetDlgItem(dialog_, control.id);
    if (!window) continue;
    RECT r = control.rect;
    if (control.anchors & kMoveRight) OffsetRect(&r, dx, 0);
    if (control.anchors & kMoveDown) OffsetRect(&r, 0, dy);
    if (control.anchors & kGrowWidth) r.right += dx;
    if (control.anchors & kGrowHeight) r.bottom += dy;
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
  }
  if (visible) {
    SendMessageW(dialog_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_ERASE);
  }
}

void ErrorReportDialog::ToggleDetails() {
  expanded_now_ = !expanded_now_;
  SetDlgItemTextW(dialog_, error_dialog::kDetailsButtonId,
                  expanded_now_ ? L"Details <<" : L"Details >>");
  const int show = expanded_now_ ? SW_SHOW : SW_HIDE;
  ShowWindow(GetDlgItem(dialog_, error_dialog::kDetailsId), show);
  ShowWindow(GetDlgItem(dialog_, error_dialog::kCopyId), show);
  const RECT& target = expanded_now_ ? expanded_ : collapsed_;
  // The new size must not be refused by the old minimum.
  min_track_ = {0, 0};
  SetWindowPos(dialog_, nullptr, 0, 0, target.right - target.left, target.bottom - target.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The template places the controls for both sizes; put them back there and
  // take this size as the new minimum.
  for (const Anchored& control : layout_) {
    if (HWND window = GetDlgItem(dialog_, control.id)) {
      const RECT& r = control.rect;
      MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
  }
  RecordLayout();
}

void ErrorReportDialog::CopyDetails() {
  HWND edit = GetDlgItem(dialog_, error_dialog::kDetailsId);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, WM_COPY, 0, 0);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
}

void PresentError(HWND owner, const std::wstring& text, const std::wstring& details) {
  ErrorReportDialog::Show(owner && IsWindow(owner) ? owner : nullptr, L"Error", text,
                          details == text ? std::wstring() : details);
}

std::wstring ReportMainText() {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    const int length = LoadStringW(GetModuleHandleW(nullptr), IDS_CRASH_REPORT, buffer.data(),
                                   static_cast<int>(buffer.size()));
    if (length < static_cast<int>(buffer.size()) - 1) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

void ExceptionPresenter::Present(const IException& exception) const {
  const auto* known = dynamic_cast<const Exception*>(&exception);
  PresentError(nullptr, ReportMainText(), known ? known->message() : exception.GetTypeName());
}

void ExceptionPresenter::Present(const std::exception& exception) const {
  PresentError(nullptr, ReportMainText(), FromAnsi(exception.what()));
}
