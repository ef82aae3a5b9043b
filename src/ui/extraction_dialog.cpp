#include "ui/extraction_dialog.h"

#include <commctrl.h>
#include <objbase.h>

#include "core/stable_numbers.h"
#include "ui/dialog_support.h"
#include "ui/progress_sink.h"
#include "ui/strings.h"
#include "ui/taskbar_progress.h"
#include "ui/ui_state.h"
#include "ui/window_registry.h"
#include "util/wide_format.h"

namespace {
// From the caller's thread; everything that touches the window or the
// taskbar runs on the window's own thread.
constexpr UINT kRestart = WM_APP + 1;  // a new total: the bar starts again
constexpr UINT kFile = WM_APP + 2;     // lparam: the file's path (sent, not posted)
constexpr UINT kPercent = WM_APP + 3;  // wparam: per cent done
constexpr UINT kExtractionEnd = WM_APP + 4;
}  // namespace

ExtractionDialog::ExtractionDialog(ProgressState& state, bool unpack, bool cancellable,
                                   IProgressSink* outer)
    : owner_(state.dialog ? state.dialog : state.window),
      texts_(ExtractionTextsFor(unpack)),
      cancellable_(cancellable),
      outer_(outer) {
  EnsureTitle(&state);
  caption_ = state.title;
}

ExtractionDialog::~ExtractionDialog() {
  if (!thread_) return;
  PostMessageW(dialog_, kExtractionEnd, 0, 0);  // fails harmlessly when Cancel has closed it
  WaitForSingleObject(thread_.get(), INFINITE);
}

void ExtractionDialog::BeginExtraction(uint64_t total_bytes) {
  total_ = total_bytes;
  done_ = 0;
  percent_ = 0;
  if (!thread_ && InteractiveUi) {
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (ready_) thread_.reset(CreateThread(nullptr, 0, &UiThread, this, 0, nullptr));
    // Until the window is ready, or its thread gave up (no desktop): the
    // work goes on either way, without a window in the second case.
    if (thread_) {
      HANDLE either[] = {ready_.get(), thread_.get()};
      WaitForMultipleObjects(2, either, FALSE, INFINITE);
    }
  }
  if (dialog_) PostMessageW(dialog_, kRestart, 0, 0);
}

void ExtractionDialog::BeginFile(const std::wstring& path) {
  if (dialog_) SendMessageW(dialog_, kFile, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

void ExtractionDialog::AddBytes(uint64_t bytes) {
  done_ += bytes;
  const uint32_t percent = PercentDone(done_, total_);
  if (percent == percent_ || !dialog_) return;
  percent_ = percent;
  PostMessageW(dialog_, kPercent, percent, 0);
}

void ExtractionDialog::BeginUnpacking(uint32_t files) {
  // The window reads the texts only while it handles a file line, which the
  // caller's side sends and waits for: no other thread reads them now.
  texts_ = ExtractionTextsFor(true);
  BeginExtraction(files);
}

bool ExtractionDialog::IsCanceled() {
  return cancelled_ != 0 || (outer_ && outer_->IsCanceled());
}

DWORD WINAPI ExtractionDialog::UiThread(void* parameter) {
  auto* self = static_cast<ExtractionDialog*>(parameter);
  const bool com = SUCCEEDED(CoInitialize(nullptr));  // for the taskbar list
  // Modal to the window the run shows (on another thread, which pumps its
  // messages): it stays above it, and that window's Cancel waits meanwhile.
  DialogBoxParamW(WindowRegistry::Instance(), MAKEINTRESOURCEW(IDD_PROGRESS), self->owner_,
                  &Procedure, reinterpret_cast<LPARAM>(self));
  self->taskbar_.reset();
  if (com) CoUninitialize();
  return 0;
}

INT_PTR CALLBACK ExtractionDialog::Procedure(HWND dialog, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
    return reinterpret_cast<ExtractionDialog*>(lparam)->Initialize(dialog);
  }
  auto* self = reinterpret_cast<ExtractionDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  return self ? self->Handle(message, wparam, lparam) : FALSE;
}

INT_PTR ExtractionDialog::Initialize(HWND dialog) {
  dialog_ = dialog;
  WindowRegistry::Add(dialog);
  SendMessageW(GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, 100);
  root_ = RootWindowOf(dialog);
  taskbar_.reset(new TaskbarProgress());
  // The line may show a path shortened with "..."; its tooltip shows it whole.
  // Without the tooltip class (no common controls) the line just has none.
  HWND text = GetDlgItem(dialog, IDC_PROGRESS_TEXT);
  SetWindowLongPtrW(text, GWL_STYLE, GetWindowLongPtrW(text, GWL_STYLE) | SS_NOTIFY);
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                             WindowRegistry::Instance(), nullptr);
  if (tip) {
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by the common controls of every version
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(text);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SetProgramIcons(dialog);
  CenterOnOwner(dialog);
  SetWindowTextW(dialog, caption_.c_str());
  if (texts_.status_id) SetWindowTextW(text, LoadResString(texts_.status_id).c_str());
  if (!cancellable_) {
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }
  SetEvent(ready_.get());
  return TRUE;
}

void ExtractionDialog::ShowFileLine(const std::wstring& path) {
  HWND text = GetDlgItem(dialog_, IDC_PROGRESS_TEXT);
  line_ = FormatW(LoadResString(texts_.file_format_id).c_str(), path.c_str());
  // Room in average characters (4 dialog units each). A line of wider ones
  // still fits: the control's own path ellipsis shortens it further.
  RECT room = {}, average = {0, 0, 4, 0};
  GetClientRect(text, &room);
  MapDialogRect(dialog_, &average);
  const size_t width = average.right > 0 ? static_cast<size_t>(room.right / average.right) : 0;
  SetWindowTextW(text, ShortenPathLine(line_, width).c_str());
}

void ExtractionDialog::End(INT_PTR code) {
  taskbar_->Clear(root_);
  if (!ended_) EndDialog(dialog_, code);
  ended_ = true;
}

INT_PTR ExtractionDialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kRestart:
      SendMessageW(GetDlgItem(dialog_, IDC_PROGRESS_BAR), PBM_SETPOS, 0, 0);
      taskbar_->SetNormal(root_);
      return TRUE;
    case kFile:
      ShowFileLine(reinterpret_cast<const wchar_t*>(lparam));
      return TRUE;
    case kPercent:
      SendMessageW(GetDlgItem(dialog_, IDC_PROGRESS_BAR), PBM_SETPOS, wparam, 0);
      taskbar_->SetValue(root_, wparam, 100);
      return TRUE;
    case kExtractionEnd:
      End(IDOK);
      return TRUE;
    case WM_NOTIFY: {
      auto* info = reinterpret_cast<NMTTDISPINFOW*>(lparam);
      if (info->hdr.code != TTN_GETDISPINFOW) return FALSE;
      info->lpszText = const_cast<wchar_t*>(line_.c_str());
      return TRUE;
    }
    case WM_COMMAND:
      // Escape and the Close entry come here too, even with Cancel disabled.
      if (LOWORD(wparam) != IDCANCEL) return FALSE;
      if (cancellable_) {
        InterlockedExchange(&cancelled_, 1);  // the extraction sees it at its next piece
        End(IDCANCEL);
      }
      return TRUE;
    case WM_DESTROY:
      WindowRegistry::Remove(dialog_);
      return FALSE;
  }
  return FALSE;
}
