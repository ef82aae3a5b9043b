#include "download/credential_store.h"

#include "download/auth_realm.h"
#include "download/transfer_rules.h"
#include "ui/credentials_dialog.h"
#include "ui/progress_sink.h"
#include "ui/ui_state.h"
#include "util/system_library.h"

CredentialStore& ProcessCredentials() {
  static CredentialStore store;
  return store;
}

void CredentialStore::AllowRemembered() {
  allow_remembered_ = true;
}

bool CredentialStore::GetRemembered(std::wstring* user, std::wstring* password) {
  if (!allow_remembered_) return false;
  return GetEntered(user, password);
}

bool CredentialStore::GetEntered(std::wstring* user, std::wstring* password) {
  const Entry* entry = Find();
  if (entry == nullptr || entry->user_name.empty()) return false;
  *user = entry->user_name;
  *password = entry->password;
  return true;
}

const CredentialStore::Entry* CredentialStore::Find() const {
  for (const Entry& entry : entries_) {
    if (entry.server == server_) return &entry;
  }
  return nullptr;
}

void CredentialStore::ConsumeRemembered() {
  allow_remembered_ = false;
}
void CredentialStore::SetRealm(const std::wstring& realm) {
  realm_ = realm;
}
void CredentialStore::SetProxyHost(const std::wstring& proxy_host) {
  proxy_host_ = proxy_host;
}
void CredentialStore::SetUrl(const std::wstring& url) {
  url_ = url;
}

bool CredentialStore::AskUser(HWND owner) {
  if (!InteractiveUi) return false;
  if (!owner) owner = GetActiveWindow();
  if (!owner) owner = GetForegroundWindow();
  CredentialsEntry entry;
  if (!ShowCredentialsDialog(owner, PromptHost(url_, proxy_host_), realm_, &entry)) return false;
  // The "remember" box is offered but the store keeps the credentials for the
  // rest of the run either way; nothing is written to disk.
  SetEntered(entry.user_name, entry.password);
  return true;
}

void CredentialStore::SetEntered(const std::wstring& user, const std::wstring& password) {
  user_name_ = user;
  password_ = password;
  for (Entry& entry : entries_) {
    if (entry.server == server_) {
      entry.user_name = user;
      entry.password = password;
      return;
    }
  }
  entries_.push_back(Entry{server_, user, password});
}

namespace {
// WinINet takes string options with their length in characters. A rejected
// option shows itself as the next refusal, so the result is not checked.
void SetCredentialOptions(HINTERNET request, bool is_proxy, const std::wstring& user,
                          const std::wstring& password) {
  if (!request) return;
  Wininet().InternetSetOptionW(request,
                               is_proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                               const_cast<wchar_t*>(user.c_str()), static_cast<DWORD>(user.size()));
  Wininet().InternetSetOptionW(
      request, is_proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
      const_cast<wchar_t*>(password.c_str()), static_cast<DWORD>(password.size()));
}
}  // namespace

bool RequestCredentials(HINTERNET request, const std::wstring& url, const std::wstring& realm,
                        bool is_proxy, const std::wstring& proxy_host, std::wstring* user,
                        std::wstring* password, CredentialStore* store, IProgressSink* sink) {
  if (!store) return false;
  store->SetServer(CredentialServerOf(url, is_proxy, proxy_host));
  if (!store->GetRemembered(user, password)) {
    store->SetUrl(url);
    store->SetRealm(realm);
    store->SetProxyHost(proxy_host);
    if (!sink) return false;
    if (sink->ReportError(url, kDownloadNeedCredentials, store) != ERROR_RETRY) return false;
    if (!store->GetEntered(user, password)) return false;
  }
  SetCredentialOptions(request, is_proxy, *user, *password);
  store->ConsumeRemembered();
  return true;
}
