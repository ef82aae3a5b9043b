// Opening the data source of a transfer: HTTP(S) requests with their status
// rules, credentials and certificate questions, FTP files, and form posts.
#include <algorithm>

#include "download/auth_query.h"
#include "download/credential_store.h"
#include "download/download_errors.h"
#include "download/file_downloader.h"
#include "ui/progress_sink.h"
#include "util/decimal_text.h"
#include "util/file_ops.h"
#include "util/system_library.h"
#include "util/wide_format.h"

namespace {

constexpr DWORD kHttpOpenFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
constexpr DWORD kIgnoreCertFlags = 0x13380;
constexpr DWORD kAcceptCertFlags = 0x3F05;
// Windows' own default wait for data from a server.
constexpr DWORD kReceiveTimeoutMs = 30000;
// A request that keeps being refused (credentials, certificate questions)
// ends after this many sends instead of asking for ever.
constexpr int kMaxSends = 10;


bool AddSecurityFlags(HINTERNET request, DWORD flags) {
  DWORD current = 0;
  DWORD size = sizeof(current);
  if (!Wininet().InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &current, &size))
    current = 0;
  current |= flags;
  return Wininet().InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &current,
                                      sizeof(current)) != FALSE;
}

// Content-Length as a 64-bit number: 0 when absent or not a number.
uint64_t ContentLength(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof(text);
  if (!Wininet().HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return 0;
  uint64_t value = 0;
  for (const wchar_t* c = text; *c >= L'0' && *c <= L'9'; ++c) {
    if (value > (UINT64_MAX - 9) / 10) return 0;
    value = value * 10 + static_cast<uint64_t>(*c - L'0');
  }
  return value;
}

// A short header's value; empty when absent.
std::wstring ShortHeader(HINTERNET request, DWORD query) {
  wchar_t text[128];
  DWORD size = sizeof(text);
  if (!Wininet().HttpQueryInfoW(request, query, text, &size, nullptr)) return {};
  return std::wstring(text, size / sizeof(wchar_t));
}

std::wstring ContentType(HINTERNET request) {
  std::wstring text(1040 / sizeof(wchar_t), L'\0');
  DWORD size = 1040;
  if (!Wininet().HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, &text[0], &size, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    text.assign(size / sizeof(wchar_t) + 1, L'\0');
    if (!Wininet().HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, &text[0], &size, nullptr))
      return {};
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

std::wstring Decode(const std::string& bytes, uint32_t code_page) {
  if (code_page == kCodePageUtf16) {
    std::wstring out(bytes.size() / 2, L'\0');
    std::copy(bytes.data(), bytes.data() + out.size() * 2, reinterpret_cast<char*>(&out[0]));
    return out;
  }
  if (bytes.empty()) return {};
  int size =
      MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(size, L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], size);
  return out;
}

}  // namespace

uint32_t FileDownloader::OpenHttp(const std::wstring& url, const UrlParts& parts,
                                  const wchar_t* verb, uint64_t* offset, uint64_t* total) {
  const bool secure = SchemeKindOf(parts.scheme) == SchemeKind::kHttps;
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_.get());
  HINTERNET made = nullptr;
  uint32_t error = RunAsync(
      kPendingConnect,
      [&](HINTERNET* out) {
        *out = Wininet().InternetConnectW(session_.get(), parts.host.c_str(), parts.port,
                                          OrNull(parts.user), OrNull(parts.password),
                                          INTERNET_SERVICE_HTTP, 0, context);
        return *out != nullptr;
      },
      &made);
  if (error != 0) return error;
  connection_.reset(made);
  // Windows waits 30 s for a server that accepted and sends nothing (or what
  // the machine's settings say); a WinINet whose limit is 0 (Wine's) would
  // wait for ever. Only then does the transfer bring its own.
  DWORD receive_timeout = receive_timeout_;
  DWORD current = 0;
  DWORD current_size = sizeof(current);
  if (receive_timeout == 0 &&
      Wininet().InternetQueryOptionW(connection_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &current,
                                     &current_size) &&
      current == 0) {
    receive_timeout = kReceiveTimeoutMs;
  }
  if (receive_timeout != 0) {
    Wininet().InternetSetOptionW(connection_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT,
                                 &receive_timeout, sizeof(receive_timeout));
  }

  const std::wstring object = parts.path + parts.extra;
  const wchar_t* accept[] = {L"*/*", nullptr};
  error = RunAsync(
      kPendingHttpOpen,
      [&](HINTERNET* out) {
        *out = Wininet().HttpOpenRequestW(
            connection_.get(), verb, object.c_str(), L"HTTP/1.0", L"", accept,
            kHttpOpenFlags | (secure ? INTERNET_FLAG_SECURE : 0), context);
        return *out != nullptr;
      },
      &made);
  if (error != 0) return error;
  request_.reset(made);
  ftp_file_ = false;
  if (secure && ignore_cert_errors_) AddSecurityFlags(request_.get(), kIgnoreCertFlags);

  HttpDate since;
  since.year = if_modified_since_.wYear;
  since.month = if_modified_since_.wMonth;
  since.day = if_modified_since_.wDay;
  since.hour = if_modified_since_.wHour;
  since.minute = if_modified_since_.wMinute;
  since.second = if_modified_since_.wSecond;
  std::wstring headers = RangeHeader(*offset) + IfModifiedSinceHeader(since);
  std::string body;
  if (posting_ && !form_data_.empty()) {
    headers += L"Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\n";
    body = ToUtf8(form_data_);
  }
  // Added to the request itself, so that every resend below carries them.
  if (!headers.empty() && !Wininet().HttpAddRequestHeadersW(
                              request_.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                              HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
    return GetLastError();
  }

  if (credentials_ != nullptr) credentials_->AllowRemembered();
  for (int sends = 1;; ++sends) {
    error = RunAsync(kPendingHttpSend, [&](HINTERNET*) {
      return Wininet().HttpSendRequestW(request_.get(), nullptr, 0,
                                        body.empty() ? nullptr : const_cast<char*>(body.data()),
                                        static_cast<DWORD>(body.size()));
    });
    if (error == kDownloadCanceled) return error;
    if (error != 0) {
      if (!IsCertificateError(error) || sends >= kMaxSends) return error;
      if (auto_accept_cert_errors_) {
        AddSecurityFlags(request_.get(), kAcceptCertFlags);
        continue;
      }
      if (sink_ != nullptr && sink_->ReportError(std::wstring(), error, request_.get()) == 0) {
        continue;
      }
      return error;
    }

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!Wininet().HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                  &status, &size, nullptr)) {
      return GetLastError();
    }
    http_status_ = status;
    const uint64_t length = ContentLength(request_.get());
    if (want_last_modified_ && status != 304) {
      size = sizeof(last_modified_);
      if (!Wininet().HttpQueryInfoW(request_.get(),
                                    HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                                    &last_modified_, &size, nullptr)) {
        last_modified_ = SYSTEMTIME();
      }
    }
    if (posting_ && status == 200) content_type_ += ContentType(request_.get());

    const std::wstring range = status == 206 || status == 416
                                   ? ShortHeader(request_.get(), HTTP_QUERY_CONTENT_RANGE)
                                   : std::wstring();
    const HttpOutcome outcome = DecideHttpStatus(status, length, *offset, range);
    if (!outcome.authenticate) {
      if (outcome.error != 0) return outcome.error;
      *offset = outcome.offset;
      *total = outcome.total;
      return 0;
    }
    std::wstring realm;
    ReadAuthRealm(request_.get(), status, &realm);
    // The proxy given to this downloader is the one that asks; the system's
    // setting names it only when none was given.
    std::wstring proxy_host;
    if (status == 407 && !proxy_.empty()) proxy_host = ProxyHostOf(proxy_);
    if (status == 407 && proxy_.empty()) GetProxyHost(request_.get(), &proxy_host);
    std::wstring user, password;
    if (sends >= kMaxSends ||
        !RequestCredentials(request_.get(), url, realm, status == 407, proxy_host, &user, &password,
                            credentials_, sink_)) {
      return kDownloadNeedCredentials;
    }
    // The refusal's body goes first, so that the connection can carry the resend.
    error = DrainResponse();
    if (error == kDownloadCanceled) return error;
  }
}

uint32_t FileDownloader::DrainResponse() {
  for (;;) {
    DWORD got = 0;
    uint32_t error = ReadBlock(&got);
    if (error != 0 || got == 0) return error;
  }
}

uint32_t FileDownloader::OpenFtp(const std::wstring& url, const UrlParts& parts, uint64_t* offset,
                                 uint64_t* total) {
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_.get());
  std::wstring user = parts.user;
  std::wstring password = parts.password;
  HINTERNET made = nullptr;
  for (int tries = 1;; ++tries) {
    uint32_t error = RunAsync(
        kPendingConnect,
        [&](HINTERNET* out) {
          *out = Wininet().InternetConnectW(session_.get(), parts.host.c_str(), parts.port,
                                            OrNull(user), OrNull(password), INTERNET_SERVICE_FTP,
                                            INTERNET_FLAG_PASSIVE, context);
          return *out != nullptr;
        },
        &made);
    if (error == 0) break;
    const bool login_failed = error == 12013 || error == 12014 || error == 12015;
    if (!login_failed || tries >= kMaxSends ||
        !RequestCredentials(nullptr, url, L"FTP Server", false, std::wstring(), &user, &password,
                            credentials_, sink_)) {
      return error;
    }
  }
  connection_.reset(made);

  if (resume_ && *offset != 0) {
    const std::wstring command = L"REST " + DecimalW(static_cast<int64_t>(*offset));
    uint32_t error = RunAsync(kPendingFtpCommand, [&](HINTERNET*) {
      return Wininet().FtpCommandW(connection_.get(), FALSE, FTP_TRANSFER_TYPE_ASCII,
                                   command.c_str(), context, nullptr);
    });
    // A server without REST answers with an error reply (12003): that is a
    // refusal to resume, not a failure, or a ".part" file would block the
    // file for good.
    if (error == ERROR_INTERNET_EXTENDED_ERROR) {
      *offset = 0;
    } else if (error != 0) {
      return error;
    } else if (FtpReplyCode(state_->last_response) != 350) {
      *offset = 0;
    }
  } else {
    *offset = 0;
  }

  uint32_t error = RunAsync(
      kPendingFtpOpen,
      [&](HINTERNET* out) {
        *out = Wininet().FtpOpenFileW(connection_.get(), parts.path.c_str(), GENERIC_READ,
                                      INTERNET_FLAG_RELOAD | FTP_TRANSFER_TYPE_BINARY, context);
        return *out != nullptr;
      },
      &made);
  if (error != 0) return error;
  request_.reset(made);
  ftp_file_ = true;
  DWORD high = 0;
  DWORD low = Wininet().FtpGetFileSize(request_.get(), &high);
  *total = low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR
               ? 0
               : (static_cast<uint64_t>(high) << 32) | low;
  if (*total != 0 && *offset >= *total) return kDownloadOffsetBeyondSize;
  return 0;
}

uint32_t FileDownloader::PostForm(const std::wstring& url, std::wstring* text) {
  text->clear();
  content_type_.clear();
  http_status_ = 0;
  posting_ = true;
  UrlParts parts;
  uint32_t error = CrackUrl(url, &parts);
  const SchemeKind kind = SchemeKindOf(parts.scheme);
  if (error == 0 && kind != SchemeKind::kHttp && kind != SchemeKind::kHttps) {
    error = kDownloadUnsupportedScheme;
  }
  if (error == 0) error = OpenSession();
  if (error != 0) {
    posting_ = false;
    return Fail(error, false);
  }

  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"cor", 0, name) == 0) {
    error = GetLastError();
    CloseSession();
    posting_ = false;
    return Fail(error, false);
  }
  // A form must not be sent twice: no reconnecting in the middle of the answer.
  urls_.assign(1, url);
  current_url_ = url;
  target_path_ = name;
  part_path_ = target_path_ + L".part";
  reconnect_ = false;

  uint64_t offset = 0;
  uint64_t total = 0;
  if (credentials_ != nullptr) credentials_->AllowRemembered();
  error = OpenHttp(url, parts, L"POST", &offset, &total);
  if (error != kDownloadCanceled && error != kDownloadNeedCredentials && http_status_ != 0 &&
      http_status_ != 200) {
    error = kDownloadPostRefused;
  }
  if (error == 0)
    error = ReadToFile(0, total, false);
  else
    error = Fail(error, false);
  CloseTransferHandles();
  CloseSession();

  if (error == 0) {
    UniqueFile file(CreateFileW(target_path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (file && ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
      bytes.append(chunk, got);
    }
    if (!file) error = Fail(GetLastError(), false);
    *text = Decode(bytes, CodePageForCharset(GetCharset()));
  }
  DeleteFileLong(target_path_);
  DeleteFileLong(part_path_);
  posting_ = false;
  return error;
}
