#include "download/credential_store.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "download/auth_query.h"
#include "download/transfer_rules.h"
#include "loopback_http.h"
#include "ui/progress_sink.h"
#include "util/unique_handle.h"

namespace {

// Answers the credentials question like a prompting sink: fills the store and
// says ERROR_RETRY, or refuses.
class AnsweringSink : public IProgressSink {
 public:
  enum Mode { kFill, kRefuse, kRetryWithoutFilling };
  explicit AnsweringSink(Mode mode, std::wstring user = L"alice", std::wstring password = L"s3cret")
      : mode_(mode), user_(std::move(user)), password_(std::move(password)) {}

  void SetStepCount(uint64_t, uint32_t) override {}
  void BeginTransfer(int32_t, uint64_t, const std::wstring&) override {}
  void EndTransfer(int32_t, uint32_t) override {}
  void AddBytes(uint64_t) override {}
  bool IsCanceled() override { return false; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring& text, uint32_t code, void* context) override {
    ++asks;
    last_text = text;
    last_code = code;
    last_context = context;
    if (mode_ == kRefuse) return static_cast<int32_t>(code);
    if (mode_ == kFill) static_cast<CredentialStore*>(context)->SetEntered(user_, password_);
    return ERROR_RETRY;
  }
  void SetStatus(const std::wstring&, int32_t, uint32_t) override {}

  int asks = 0;
  std::wstring last_text;
  uint32_t last_code = 0;
  void* last_context = nullptr;

 private:
  Mode mode_;
  std::wstring user_;
  std::wstring password_;
};

TEST(RequestCredentialsTest, NothingWithoutStoreOrAnswer) {
  std::wstring user, password;
  AnsweringSink sink(AnsweringSink::kFill);
  EXPECT_FALSE(RequestCredentials(nullptr, L"http://h/f", L"R", false, L"", &user, &password,
                                  nullptr, &sink));
  EXPECT_EQ(0, sink.asks);

  // No sink: the request's description is still kept for a later question.
  CredentialStore store;
  EXPECT_FALSE(RequestCredentials(nullptr, L"http://h/f", L"Realm", true, L"corvpx", &user,
                                  &password, &store, nullptr));
  EXPECT_EQ(L"http://h/f", store.url());
  EXPECT_EQ(L"Realm", store.realm());
  EXPECT_EQ(L"corvpx", store.proxy_host());

  AnsweringSink refusing(AnsweringSink::kRefuse);
  EXPECT_FALSE(RequestCredentials(nullptr, L"ftp://h/f", L"FTP Server", false, L"", &user,
                                  &password, &store, &refusing));
  EXPECT_EQ(1, refusing.asks);
  EXPECT_EQ(L"", store.proxy_host());  // the last request that asked

  // ERROR_RETRY with nothing entered is no answer either.
  AnsweringSink empty(AnsweringSink::kRetryWithoutFilling);
  EXPECT_FALSE(RequestCredentials(nullptr, L"ftp://h/f", L"FTP Server", false, L"", &user,
                                  &password, &store, &empty));
  EXPECT_TRUE(store.user_name().empty());
}

TEST(RequestCredentialsTest, AsksTheSinkWithTheStoreAndTheNeedCredentialsCode) {
  CredentialStore store;
  AnsweringSink sink(AnsweringSink::kFill, L"alice", L"");
  std::wstring user, password = L"stale";
  ASSERT_TRUE(RequestCredentials(nullptr, L"\\\\srv\\share\\a.msi", L"Local Network Server", false,
                                 L"", &user, &password, &store, &sink));
  EXPECT_EQ(1, sink.asks);
  EXPECT_EQ(L"\\\\srv\\share\\a.msi", sink.last_text);
  EXPECT_EQ(0xE0000012u, sink.last_code);
  EXPECT_EQ(&store, sink.last_context);
  EXPECT_EQ(L"alice", user);
  EXPECT_EQ(L"", password);  // an empty password is a password
  EXPECT_EQ(L"Local Network Server", store.realm());
}

// Remembered credentials are offered once per request; the next refusal of
// the same request goes to the user, a new request gets them again.
TEST(RequestCredentialsTest, RememberedOfferedOncePerRequest) {
  CredentialStore store;
  AnsweringSink sink(AnsweringSink::kFill);
  std::wstring user, password;

  store.AllowRemembered();  // request 1 opens: nothing remembered yet
  ASSERT_TRUE(RequestCredentials(nullptr, L"http://h/1", L"R", false, L"", &user, &password, &store,
                                 &sink));
  EXPECT_EQ(1, sink.asks);
  ASSERT_TRUE(RequestCredentials(nullptr, L"http://h/1", L"R", false, L"", &user, &password, &store,
                                 &sink));
  EXPECT_EQ(2, sink.asks) << "a second refusal of the same request must ask";

  store.AllowRemembered();  // request 2 opens
  user.clear();
  ASSERT_TRUE(RequestCredentials(nullptr, L"http://h/2", L"Other", false, L"", &user, &password,
                                 &store, &sink));
  EXPECT_EQ(2, sink.asks) << "remembered credentials must be offered without asking";
  EXPECT_EQ(L"alice", user);
  EXPECT_EQ(L"s3cret", password);
  EXPECT_EQ(L"http://h/1", store.url()) << "an answer from the store does not describe a new ask";
  EXPECT_FALSE(store.allow_remembered());

  AnsweringSink refusing(AnsweringSink::kRefuse);
  EXPECT_FALSE(RequestCredentials(nullptr, L"http://h/2", L"Other", false, L"", &user, &password,
                                  &store, &refusing));
  EXPECT_EQ(1, refusing.asks);
  EXPECT_EQ(L"alice", store.user_name()) << "a refusal keeps what was entered before";
}

// What a user typed for one server is never offered to another one, to the
// same host under another scheme or port, or to a proxy of that name; each
// keeps its own, and a request for the same server gets them back.
TEST(RequestCredentialsTest, CredentialsStayWithTheServerTheyWereEnteredFor) {
  CredentialStore store;
  AnsweringSink fill(AnsweringSink::kFill, L"alice", L"s3cret");
  std::wstring user, password;
  ASSERT_TRUE(RequestCredentials(nullptr, L"http://a.example/x", L"R", false, L"", &user, &password,
                                 &store, &fill));

  struct Case {
    const wchar_t* url;
    bool is_proxy;
    const wchar_t* proxy_host;
  };
  for (const Case& c :
       {Case{L"http://b.example/x", false, L""}, Case{L"https://a.example/x", false, L""},
        Case{L"http://a.example:8080/x", false, L""}, Case{L"ftp://a.example/x", false, L""},
        Case{L"http://b.example/x", true, L"a.example"}}) {
    SCOPED_TRACE(c.url);
    // Even a sink that says "retry" without entering anything gets nothing.
    AnsweringSink empty(AnsweringSink::kRetryWithoutFilling);
    store.AllowRemembered();
    user = L"none";
    EXPECT_FALSE(RequestCredentials(nullptr, c.url, L"R", c.is_proxy, c.proxy_host, &user,
                                    &password, &store, &empty));
    EXPECT_EQ(1, empty.asks);
    EXPECT_EQ(L"none", user);
  }

  AnsweringSink proxy_fill(AnsweringSink::kFill, L"proxyuser", L"pr0xy");
  store.AllowRemembered();
  ASSERT_TRUE(RequestCredentials(nullptr, L"http://b.example/x", L"Gate", true, L"gate", &user,
                                 &password, &store, &proxy_fill));
  EXPECT_EQ(L"proxyuser", user);

  AnsweringSink refusing(AnsweringSink::kRefuse);
  store.AllowRemembered();
  ASSERT_TRUE(RequestCredentials(nullptr, L"HTTP://A.example:80/other", L"R", false, L"", &user,
                                 &password, &store, &refusing));
  EXPECT_EQ(0, refusing.asks);
  EXPECT_EQ(L"alice", user);
  EXPECT_EQ(L"s3cret", password);
}

// A loopback HTTP server that wants Basic credentials: as a server (401,
// WWW-Authenticate, Authorization) or as a proxy (407, Proxy-Authenticate,
// Proxy-Authorization).
class AuthServer {
 public:
  AuthServer(bool proxy, const std::string& realm, const std::string& expected_base64)
      : server_([=](const LoopbackRequest& request, int) {
          const std::string given = request.Header(proxy ? "Proxy-Authorization" : "Authorization");
          if (LoopbackRequest::Lower(given) == LoopbackRequest::Lower("Basic " + expected_base64)) {
            ++authorized_;
            return LoopbackResponse::Make(200, "ok");
          }
          const std::string challenge =
              std::string(proxy ? "Proxy-Authenticate" : "WWW-Authenticate") + ": Basic realm=\"" +
              realm + "\"\r\n";
          return LoopbackResponse::Make(proxy ? 407 : 401, "denied", challenge);
        }) {}
  INTERNET_PORT port() const { return server_.port(); }
  LONG requests() { return static_cast<LONG>(server_.request_count()); }
  LONG authorized() const { return authorized_; }

 private:
  std::atomic<LONG> authorized_{0};
  LoopbackHttp server_;  // last: stopped before the counter goes
};

// base64("alice:s3cret") and base64("proxyuser:pr0xy")
constexpr char kAliceBasic[] = "YWxpY2U6czNjcmV0";
constexpr char kProxyBasic[] = "cHJveHl1c2VyOnByMHh5";

// Sends the request once more and gives its status (0 when nothing came back).
DWORD Send(HINTERNET request) {
  if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return 0;
  // The body of a refusal is read away before the request is sent again.
  char sink[512];
  DWORD got = 0;
  while (InternetReadFile(request, sink, sizeof(sink), &got) && got > 0) {
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    return 0;
  }
  return status;
}

class WinInetAuthTest : public testing::Test {
 protected:
  UniqueInternet OpenRequest(const wchar_t* host, INTERNET_PORT port) {
    connection_.reset(InternetConnectW(session_.get(), host, port, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    return UniqueInternet(HttpOpenRequestW(
        connection_.get(), L"GET", L"/setup.exe", nullptr, nullptr, nullptr,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  }
  UniqueInternet session_;
  UniqueInternet connection_;
};

TEST_F(WinInetAuthTest, ServerRealmAndCredentialsSetOnTheRequest) {
  AuthServer server(false, "Test Realm", kAliceBasic);
  ASSERT_NE(0, server.port());
  session_.reset(InternetOpenW(L"chainer-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  ASSERT_TRUE(session_);
  UniqueInternet request = OpenRequest(L"127.0.0.1", server.port());
  ASSERT_TRUE(request);
  ASSERT_EQ(401u, Send(request.get()));

  std::wstring realm;
  ASSERT_TRUE(ReadAuthRealm(request.get(), 401, &realm));
  EXPECT_EQ(L"Test Realm", realm);
  EXPECT_FALSE(ReadAuthRealm(request.get(), 407, &realm)) << "no Proxy-Authenticate header";
  EXPECT_FALSE(ReadAuthRealm(request.get(), 200, &realm));

  CredentialStore store;
  AnsweringSink sink(AnsweringSink::kFill);
  std::wstring user, password;
  const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/setup.exe";
  ASSERT_TRUE(
      RequestCredentials(request.get(), url, realm, false, L"", &user, &password, &store, &sink));
  EXPECT_EQ(1, sink.asks);
  EXPECT_EQ(200u, Send(request.get()));
  EXPECT_EQ(1, server.authorized());

  // The next request, to another server, does not get them: it asks.
  AuthServer other(false, "Test Realm", kAliceBasic);
  store.AllowRemembered();
  UniqueInternet second = OpenRequest(L"127.0.0.1", other.port());
  ASSERT_EQ(401u, Send(second.get()));
  const std::wstring other_url =
      L"http://127.0.0.1:" + std::to_wstring(other.port()) + L"/setup.exe";
  ASSERT_TRUE(RequestCredentials(second.get(), other_url, realm, false, L"", &user, &password,
                                 &store, &sink));
  EXPECT_EQ(2, sink.asks);
  EXPECT_EQ(200u, Send(second.get()));
  EXPECT_EQ(1, other.authorized());
}

// A challenge longer than the first buffer is read whole on the second try.
TEST_F(WinInetAuthTest, LongChallengeIsReadWhole) {
  const std::string long_realm = "Realm " + std::string(400, 'r');
  AuthServer server(false, long_realm.c_str(), kAliceBasic);
  ASSERT_NE(0, server.port());
  session_.reset(InternetOpenW(L"chainer-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  UniqueInternet request = OpenRequest(L"127.0.0.1", server.port());
  ASSERT_EQ(401u, Send(request.get()));
  std::wstring realm;
  ASSERT_TRUE(ReadAuthRealm(request.get(), 401, &realm));
  EXPECT_EQ(std::wstring(long_realm.begin(), long_realm.end()), realm);
}

// Wrong remembered credentials are tried once; the second 401 asks the user,
// whose answer gets through.
TEST_F(WinInetAuthTest, SecondRefusalOfTheSameRequestAsks) {
  AuthServer server(false, "Test Realm", kAliceBasic);
  ASSERT_NE(0, server.port());
  session_.reset(InternetOpenW(L"chainer-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  CredentialStore store;
  store.SetServer(CredentialServerOf(L"http://127.0.0.1/setup.exe", false, L""));
  store.SetEntered(L"alice", L"wrong");
  store.AllowRemembered();
  UniqueInternet request = OpenRequest(L"127.0.0.1", server.port());
  ASSERT_EQ(401u, Send(request.get()));

  AnsweringSink sink(AnsweringSink::kFill);
  std::wstring user, password;
  ASSERT_TRUE(RequestCredentials(request.get(), L"http://127.0.0.1/setup.exe", L"Test Realm", false,
                                 L"", &user, &password, &store, &sink));
  EXPECT_EQ(0, sink.asks);
  EXPECT_EQ(L"wrong", password);
  ASSERT_EQ(401u, Send(request.get()));
  ASSERT_TRUE(RequestCredentials(request.get(), L"http://127.0.0.1/setup.exe", L"Test Realm", false,
                                 L"", &user, &password, &store, &sink));
  EXPECT_EQ(1, sink.asks);
  EXPECT_EQ(200u, Send(request.get()));
}

// A proxy's refusal: its realm comes from Proxy-Authenticate and the answer
// must go into the proxy options, not the server ones.
TEST_F(WinInetAuthTest, ProxyRealmAndProxyCredentials) {
  AuthServer proxy(true, "Proxy Realm", kProxyBasic);
  ASSERT_NE(0, proxy.port());
  const std::wstring proxy_name = L"127.0.0.1:" + std::to_wstring(proxy.port());
  session_.reset(
      InternetOpenW(L"chainer-test", INTERNET_OPEN_TYPE_PROXY, proxy_name.c_str(), L"", 0));
  ASSERT_TRUE(session_);
  UniqueInternet request = OpenRequest(L"files.invalid", INTERNET_DEFAULT_HTTP_PORT);
  ASSERT_TRUE(request);
  ASSERT_EQ(407u, Send(request.get()));

  std::wstring realm;
  ASSERT_TRUE(ReadAuthRealm(request.get(), 407, &realm));
  EXPECT_EQ(L"Proxy Realm", realm);
  EXPECT_FALSE(ReadAuthRealm(request.get(), 401, &realm));

  CredentialStore store;
  AnsweringSink sink(AnsweringSink::kFill, L"proxyuser", L"pr0xy");
  std::wstring user, password;
  ASSERT_TRUE(RequestCredentials(request.get(), L"http://files.invalid/setup.exe", realm, true,
                                 L"127.0.0.1", &user, &password, &store, &sink));
  EXPECT_EQ(L"127.0.0.1", store.proxy_host());
  EXPECT_EQ(200u, Send(request.get()));
  EXPECT_EQ(1, proxy.authorized());
}

// Sets the current user's proxy for the test's length, restoring what was there.
class SystemProxy {
 public:
  explicit SystemProxy(const wchar_t* server) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    nullptr, key_.put(), nullptr);
    had_enable_ = Read(L"ProxyEnable", &enable_);
    had_server_ = Read(L"ProxyServer", &server_);
    const DWORD on = 1;
    RegSetValueExW(key_.get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                   sizeof(on));
    RegSetValueExW(key_.get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                   static_cast<DWORD>((wcslen(server) + 1) * sizeof(wchar_t)));
  }
  ~SystemProxy() {
    Restore(L"ProxyEnable", had_enable_, enable_);
    Restore(L"ProxyServer", had_server_, server_);
  }

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  struct Value {
    DWORD type = 0;
    std::string bytes;
  };
  bool Read(const wchar_t* name, Value* value) {
    BYTE data[1024];
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key_.get(), name, nullptr, &value->type, data, &size) != ERROR_SUCCESS) {
      return false;
    }
    value->bytes.assign(reinterpret_cast<const char*>(data), size);
    return true;
  }
  void Restore(const wchar_t* name, bool had, const Value& value) {
    if (!had) {
      RegDeleteValueW(key_.get(), name);
      return;
    }
    RegSetValueExW(key_.get(), name, 0, value.type,
                   reinterpret_cast<const BYTE*>(value.bytes.data()),
                   static_cast<DWORD>(value.bytes.size()));
  }
  UniqueRegKey key_;
  bool had_enable_ = false;
  bool had_server_ = false;
  Value enable_;
  Value server_;
};

TEST_F(WinInetAuthTest, ProxyHostOfTheSystemSetting) {
  session_.reset(InternetOpenW(L"chainer-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  UniqueInternet request = OpenRequest(L"127.0.0.1", 9);
  ASSERT_TRUE(request);
  std::wstring host = L"untouched";
  {
    SystemProxy proxy(L"corvpx:3128");
    EXPECT_EQ(0u, GetProxyHost(request.get(), &host));
    EXPECT_EQ(L"corvpx", host);
  }
  {
    SystemProxy proxy(L":3128");
    EXPECT_EQ(0u, GetProxyHost(request.get(), &host));
    EXPECT_EQ(L":3128", host);
  }
}

}  // namespace
