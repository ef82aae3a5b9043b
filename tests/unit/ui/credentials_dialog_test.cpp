// The credentials dialog, shown for real by CredentialStore::AskUser on a
// thread of its own and driven from the test's thread.
#include "ui/credentials_dialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/stable_numbers.h"
#include "download/credential_store.h"
#include "ui/ui_state.h"
#include "ui/window_registry.h"
#include "util/unique_handle.h"

namespace {

BOOL CALLBACK FindDialog(HWND window, LPARAM out) {
  wchar_t name[32];
  GetClassNameW(window, name, 32);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// The test program carries no resources: the dialog and its strings come from
// the chainer built beside it, the way the chainer takes them from itself.
class CredentialsDialogTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool initialized = false;
    if (initialized) return;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    HMODULE resources =
        LoadLibraryExW((folder + L"chainer_seams.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, resources);
    WindowRegistry::Initialize(reinterpret_cast<HINSTANCE>(resources));
    initialized = true;
  }

  struct Asking {
    CredentialStore* store;
    bool result;
  };

  static DWORD WINAPI AskOnThread(void* parameter) {
    Asking* asking = static_cast<Asking*>(parameter);
    asking->result = asking->store->AskUser(nullptr);
    return 0;
  }

  // Starts AskUser and waits for its dialog to show.
  HWND Open(CredentialStore* store) {
    asking_ = {store, false};
    thread_.reset(CreateThread(nullptr, 0, AskOnThread, &asking_, 0, &thread_id_));
    for (int i = 0; i < 500 && thread_; ++i) {
      HWND found = nullptr;
      EnumThreadWindows(thread_id_, FindDialog, reinterpret_cast<LPARAM>(&found));
      if (found) return found;
      if (WaitForSingleObject(thread_.get(), 20) == WAIT_OBJECT_0) break;
    }
    return nullptr;
  }

  // Presses a button and gives what AskUser returned.
  bool Press(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread_.get(), 10000));
    return asking_.result;
  }

  void TearDown() override {
    if (thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT) {
      // A failed test leaves the dialog up: cancel it so the thread ends.
      EnumThreadWindows(thread_id_, CancelWindow, 0);
      WaitForSingleObject(thread_.get(), 10000);
    }
  }

  static std::wstring Text(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
  }
  static bool OkEnabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }

  Asking asking_ = {nullptr, false};
  UniqueKernelHandle thread_;
  DWORD thread_id_ = 0;
};

TEST_F(CredentialsDialogTest, OkFollowsTheUserNameAndAnEmptyPasswordIsAccepted) {
  CredentialStore store;
  store.SetUrl(L"http://files.example/dl/setup.exe");
  store.SetProxyHost(L"corvpx");
  store.SetRealm(L"Corp Realm");
  HWND dialog = Open(&store);
  ASSERT_NE(nullptr, dialog);

  // The proxy host, when there is one, names the place that asks.
  EXPECT_EQ(L"Connect to corvpx", Text(dialog));
  EXPECT_EQ(
      L"The server corvpx at Corp Realm requires a username and password. Please enter them below.",
      Text(GetDlgItem(dialog, IDC_CREDENTIALS_MESSAGE)));

  EXPECT_FALSE(OkEnabled(dialog)) << "Ok must wait for a user name";
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_PASSWORD, L"pw");
  EXPECT_FALSE(OkEnabled(dialog)) << "a password alone is no user name";
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_USER, L"alice");
  EXPECT_TRUE(OkEnabled(dialog));
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_USER, L"");
  EXPECT_FALSE(OkEnabled(dialog)) << "emptying the user name disables Ok again";

  // Enter reaches Ok even while it is disabled: the dialog must stay up.
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread_.get(), 200));

  SetDlgItemTextW(dialog, IDC_CREDENTIALS_USER, L"alice");
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_PASSWORD, L"");
  ASSERT_TRUE(Press(dialog, IDOK));
  EXPECT_EQ(L"alice", store.user_name());
  EXPECT_EQ(L"", store.password());
}

TEST_F(CredentialsDialogTest, CancelLeavesTheStoreAsItWas) {
  CredentialStore store;
  store.SetEntered(L"bob", L"old");
  store.SetUrl(L"https://user@files.example:8443/a/setup.exe");
  store.SetRealm(L"Downloads");
  HWND dialog = Open(&store);
  ASSERT_NE(nullptr, dialog);
  // Without a proxy the URL's host names the place, without port or user.
  EXPECT_EQ(L"Connect to files.example", Text(dialog));

  SetDlgItemTextW(dialog, IDC_CREDENTIALS_USER, L"carol");
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_PASSWORD, L"new");
  EXPECT_FALSE(Press(dialog, IDCANCEL));
  EXPECT_EQ(L"bob", store.user_name());
  EXPECT_EQ(L"old", store.password());
}

TEST_F(CredentialsDialogTest, ResizingKeepsControlsAnchoredAndNeverShrinksBelowTheStart) {
  CredentialStore store;
  store.SetUrl(L"http://files.example/setup.exe");
  HWND dialog = Open(&store);
  ASSERT_NE(nullptr, dialog);
  auto rect_of = [&](int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  RECT start;
  GetWindowRect(dialog, &start);
  const RECT ok = rect_of(IDOK);
  const RECT user = rect_of(IDC_CREDENTIALS_USER);
  const RECT remember = rect_of(IDC_CREDENTIALS_REMEMBER);

  SetWindowPos(dialog, nullptr, 0, 0, start.right - start.left + 120, start.bottom - start.top + 40,
               SWP_NOMOVE | SWP_NOZORDER);
  const RECT moved_ok = rect_of(IDOK);
  EXPECT_EQ(ok.left + 120, moved_ok.left) << "buttons keep to the right edge";
  EXPECT_EQ(ok.top + 40, moved_ok.top) << "buttons keep to the bottom edge";
  const RECT wide_user = rect_of(IDC_CREDENTIALS_USER);
  EXPECT_EQ(user.left, wide_user.left);
  EXPECT_EQ(user.right + 120, wide_user.right) << "the fields grow with the width";
  EXPECT_EQ(user.top, wide_user.top);
  EXPECT_EQ(remember.left, rect_of(IDC_CREDENTIALS_REMEMBER).left);

  SetWindowPos(dialog, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
  RECT small;
  GetWindowRect(dialog, &small);
  EXPECT_EQ(start.right - start.left, small.right - small.left) << "the first size is the smallest";
  EXPECT_EQ(start.bottom - start.top, small.bottom - small.top);
  EXPECT_EQ(ok.left, rect_of(IDOK).left);

  // Typed text and the check box reach the store through Ok.
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_USER, L"dave");
  SetDlgItemTextW(dialog, IDC_CREDENTIALS_PASSWORD, L"p w");
  CheckDlgButton(dialog, IDC_CREDENTIALS_REMEMBER, BST_CHECKED);
  ASSERT_TRUE(Press(dialog, IDOK));
  EXPECT_EQ(L"dave", store.user_name());
  EXPECT_EQ(L"p w", store.password());
}

TEST_F(CredentialsDialogTest, SilentRunsNeverAsk) {
  CredentialStore store;
  InteractiveUi = false;
  const bool asked = store.AskUser(nullptr);
  InteractiveUi = true;
  EXPECT_FALSE(asked);
  EXPECT_TRUE(store.user_name().empty());
}

}  // namespace
