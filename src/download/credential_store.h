// The process's user names and passwords for servers, proxies and shares that
// refuse a transfer, and the one way the transfer engine asks for them.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

class IProgressSink;

// One per process, created empty and kept until exit; used only on the thread
// that runs the downloads, so it has no lock. Credentials the user entered
// stay here with the server (or proxy) they were entered for, and are offered,
// once per request, to later requests for that server only: a password typed
// for one host must never travel to another.
class CredentialStore {
 public:
  // Lets the remembered credentials be offered again (a new request begins).
  virtual void AllowRemembered();
  // The remembered user name and password for the current server, when they
  // may be offered and a user name is known for it; false otherwise.
  virtual bool GetRemembered(std::wstring* user, std::wstring* password);
  // The user name and password obtained for the current server, when a user
  // name is known for it.
  virtual bool GetEntered(std::wstring* user, std::wstring* password);
  // The remembered credentials have been offered to the current request.
  virtual void ConsumeRemembered();
  // What the request that asks last is about: shown by AskUser.
  virtual void SetRealm(const std::wstring& realm);
  virtual void SetProxyHost(const std::wstring& proxy_host);
  virtual void SetUrl(const std::wstring& url);
  // Shows the credentials dialog owned by owner (else the active, else the
  // foreground window). True when the user chose Ok: the entered user name and
  // password are kept. False when cancelled or in silent runs.
  virtual bool AskUser(HWND owner);
  // After the operations above so that they keep their places in the table.
  virtual ~CredentialStore() = default;

  // Keeps user and password as the credentials of the current server; what a
  // sink that asks in its own way calls before it answers ERROR_RETRY.
  void SetEntered(const std::wstring& user, const std::wstring& password);
  // The server the request that asks now goes to (CredentialServerOf, in
  // download/transfer_rules.h); RequestCredentials sets it before anything else.
  void SetServer(const std::wstring& server) { server_ = server; }
  const std::wstring& server() const { return server_; }

  const std::wstring& user_name() const { return user_name_; }
  const std::wstring& password() const { return password_; }
  bool allow_remembered() const { return allow_remembered_; }
  const std::wstring& realm() const { return realm_; }
  const std::wstring& url() const { return url_; }
  const std::wstring& proxy_host() const { return proxy_host_; }

 private:
  struct Entry {
    std::wstring server;
    std::wstring user_name;
    std::wstring password;
  };
  const Entry* Find() const;

  std::vector<Entry> entries_;
  std::wstring server_;
  // The credentials obtained last, whatever their server.
  std::wstring user_name_;
  std::wstring password_;
  bool allow_remembered_ = true;
  std::wstring realm_;
  std::wstring url_;
  std::wstring proxy_host_;
};

// The process's one store, created empty on first use and kept until exit:
// credentials entered for one download are offered to the later ones.
CredentialStore& ProcessCredentials();

// The transfer engine's single question when a server (is_proxy false) or a
// proxy (true, proxy_host naming it) refuses url: remembered credentials of
// that server or proxy first, once per request, then the sink's answer. The
// sink is asked with ReportError(url, kDownloadNeedCredentials, store) and
// answers ERROR_RETRY (1237) once it has put credentials into the store.
// True when user and password were obtained and the operation is to be
// repeated; with a request handle they are also set on it. False without a
// store, or when neither the store nor the sink gives any.
bool RequestCredentials(HINTERNET request, const std::wstring& url, const std::wstring& realm,
                        bool is_proxy, const std::wstring& proxy_host, std::wstring* user,
                        std::wstring* password, CredentialStore* store, IProgressSink* sink);
