#include "ui/credentials_dialog.h"

#include <vector>

#include "core/stable_numbers.h"
#include "ui/window_registry.h"
#include "util/wide_format.h"

namespace {
enum Anchor : unsigned {
  kAnchorNone = 0,
  kStretchX = 1,  // keeps its distance to the right edge by growing
  kMoveX = 2,     // keeps its distance to the right edge by moving
  kMoveY = 4,     // keeps its distance to the bottom edge by moving
};

struct PlacedControl {
  HWND window;
  RECT initial;  // client coordinates at the dialog's first size
  unsigned anchor;
};

struct DialogState {
  std::wstring title;
  std::wstring message;
  CredentialsEntry* entry = nullptr;
  SIZE min_size = {0, 0};  // the window's first size, also its smallest
  SIZE initial_client = {0, 0};
  std::vector<PlacedControl> controls;
};

unsigned AnchorFor(int id) {
  switch (id) {
    case IDC_CREDENTIALS_MESSAGE:
    case IDC_CREDENTIALS_USER:
    case IDC_CREDENTIALS_PASSWORD:
      return kStretchX;
    case IDOK:
    case IDCANCEL:
      return kMoveX | kMoveY;
    default:
      return kAnchorNone;
  }
}

// The strings come from the module that holds the dialog template.
std::wstring FormatString(unsigned id, const wchar_t* first, const wchar_t* second = nullptr) {
  wchar_t format[1024];
  int length = LoadStringW(WindowRegistry::Instance(), id, format, 1024);
  if (length <= 0) return std::wstring();
  return second ? FormatW(format, first, second) : FormatW(format, first);
}

// False when the control's text could not be read although it has some.
bool ReadField(HWND dialog, int id, std::wstring* text) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return false;
  const int length = GetWindowTextLengthW(control);
  std::vector<wchar_t> buffer(length + 1, L'\0');
  const int read = GetWindowTextW(control, buffer.data(), length + 1);
  if (read <= 0 && length > 0) return false;
  text->assign(buffer.data(), read > 0 ? read : 0);
  SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
  return true;
}

void RefuseField(HWND dialog, int id) {
  MessageBeep(static_cast<UINT>(-1));
  SetFocus(GetDlgItem(dialog, id));
}

void RememberLayout(HWND dialog, DialogState* state) {
  RECT window;
  GetWindowRect(dialog, &window);
  state->min_size = {window.right - window.left, window.bottom - window.top};
  RECT client;
  GetClientRect(dialog, &client);
  state->initial_client = {client.right, client.bottom};
  // The grip sizes itself and sits in the bottom right corner of this rectangle.
  HWND grip = CreateWindowExW(
      0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN,
      0, 0, client.right, client.bottom, dialog, nullptr, WindowRegistry::Instance(), nullptr);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    PlacedControl placed{
        child, {}, child == grip ? kMoveX | kMoveY : AnchorFor(GetDlgCtrlID(child))};
    GetWindowRect(child, &placed.initial);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed.initial), 2);
    state->controls.push_back(placed);
  }
}

void Layout(HWND dialog, const DialogState& state, int width, int height) {
  if (state.controls.empty()) return;
  const int dx = width - state.initial_client.cx;
  const int dy = height - state.initial_client.cy;
  HDWP positions = BeginDeferWindowPos(static_cast<int>(state.controls.size()));
  for (const PlacedControl& c : state.controls) {
    int x = c.initial.left + ((c.anchor & kMoveX) ? dx : 0);
    int y = c.initial.top + ((c.anchor & kMoveY) ? dy : 0);
    int w = c.initial.right - c.initial.left + ((c.anchor & kStretchX) ? dx : 0);
    int h = c.initial.bottom - c.initial.top;
    if (positions) {
      positions =
          DeferWindowPos(positions, c.window, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      SetWindowPos(c.window, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (positions) EndDeferWindowPos(positions);
  InvalidateRect(dialog, nullptr, TRUE);
}

void FinishOk(HWND dialog, DialogState* state) {
  std::wstring user;
  if (!ReadField(dialog, IDC_CREDENTIALS_USER, &user) || user.empty()) {
    // Enter can reach Ok while it is disabled: an empty name is no answer.
    RefuseField(dialog, IDC_CREDENTIALS_USER);
    return;
  }
  std::wstring password;
  if (!ReadField(dialog, IDC_CREDENTIALS_PASSWORD, &password)) {
    RefuseField(dialog, IDC_CREDENTIALS_PASSWORD);
    return;
  }
  state->entry->user_name = user;
  state->entry->password = password;
  state->entry->remember = IsDlgButtonChecked(dialog, IDC_CREDENTIALS_REMEMBER) == BST_CHECKED;
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK CredentialsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  DialogState* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      state = reinterpret_cast<DialogState*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      SetWindowTextW(dialog, state->title.c_str());
      SetDlgItemTextW(dialog, IDC_CREDENTIALS_MESSAGE, state->message.c_str());
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      RememberLayout(dialog, state);
      return TRUE;
    case WM_GETMINMAXINFO:
      if (state && state->min_size.cx > 0) {
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize.x = state->min_size.cx;
        info->ptMinTrackSize.y = state->min_size.cy;
        return TRUE;
      }
      return FALSE;
    case WM_SIZE:
      if (state) Layout(dialog, *state, LOWORD(lparam), HIWORD(lparam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_CREDENTIALS_USER:
          if (HIWORD(wparam) == EN_CHANGE) {
            const bool named = GetWindowTextLengthW(reinterpret_cast<HWND>(lparam)) > 0;
            EnableWindow(GetDlgItem(dialog, IDOK), named ? TRUE : FALSE);
          }
          return TRUE;
        case IDOK:
          if (state) FinishOk(dialog, state);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
}  // namespace

bool ShowCredentialsDialog(HWND owner, const std::wstring& host, const std::wstring& realm,
                           CredentialsEntry* entry) {
  DialogState state;
  state.title = FormatString(IDS_CONNECT_TO, host.c_str());
  state.message = FormatString(IDS_SERVER_NEEDS_LOGIN, host.c_str(), realm.c_str());
  CredentialsEntry typed;
  state.entry = &typed;
  const INT_PTR result =
      DialogBoxParamW(WindowRegistry::Instance(), MAKEINTRESOURCEW(IDD_CREDENTIALS), owner,
                      CredentialsProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  *entry = typed;
  return true;
}
