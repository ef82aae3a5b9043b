// The dialog that asks for a user name and password for a server or proxy.
#pragma once
#include <windows.h>

#include <string>

struct CredentialsEntry {
  std::wstring user_name;
  std::wstring password;  // may be empty
  bool remember = false;  // the "Remember my credentials" box
};

// Shows dialog resource IDD_CREDENTIALS modally, owned by owner (may be null):
// title "Connect to <host>", message naming host and realm. True when the user
// chose Ok (the user name is then never empty) and entry holds what was
// typed; false on Cancel or when the dialog cannot be shown.
bool ShowCredentialsDialog(HWND owner, const std::wstring& host, const std::wstring& realm,
                           CredentialsEntry* entry);
