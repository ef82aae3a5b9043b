#include "download/file_downloader.h"

#include <algorithm>

#include "download/credential_store.h"
#include "download/download_errors.h"
#include "download/file_digest.h"
#include "platform/core/logger.h"
#include "ui/progress_sink.h"
#include "util/file_ops.h"
#include "util/wide_format.h"
#include "util/path_text.h"
#include "util/system_library.h"

namespace {

// How long closing a handle waits for WinINet to let go of this object.
constexpr DWORD kCloseWaitMs = 10000;
// How often a wait for WinINet looks at the sink's cancel flag.
constexpr DWORD kCancelPollMs = 10;


}  // namespace

DWORD CrackUrl(const std::wstring& url, UrlParts* parts) {
  URL_COMPONENTSW c = {};
  c.dwStructSize = sizeof(c);
  c.dwSchemeLength = c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength =
      c.dwUrlPathLength = c.dwExtraInfoLength = 1;
  const WininetApi* wininet = WininetDll();
  if (!wininet) return GetLastError();
  if (url.empty() ||
      !wininet->InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) {
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_INVALID_PARAMETER;
  }
  auto take = [](const wchar_t* text, DWORD length) {
    return text ? std::wstring(text, length) : std::wstring();
  };
  *parts = UrlParts();
  parts->scheme = take(c.lpszScheme, c.dwSchemeLength);
  parts->port = c.nPort;
  parts->host = take(c.lpszHostName, c.dwHostNameLength);
  parts->path = take(c.lpszUrlPath, c.dwUrlPathLength);
  parts->extra = take(c.lpszExtraInfo, c.dwExtraInfoLength);
  parts->user = PercentDecode(take(c.lpszUserName, c.dwUserNameLength));
  parts->password = PercentDecode(take(c.lpszPassword, c.dwPasswordLength));
  if (SchemeKindOf(parts->scheme) == SchemeKind::kFile && parts->path.size() > 3 &&
      StartsWithTwoBackslashes(parts->path) && parts->path[2] != L'?') {
    size_t end = parts->path.find(L'\\', 2);
    parts->host = parts->path.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
  }
  return 0;
}

FileDownloader::FileDownloader(IProgressSink* sink, CredentialStore* credentials)
    : sink_(sink), credentials_(credentials), state_(new CallbackState) {
  state_->buffer.resize(2 * kHashBatchSize);
}

FileDownloader::~FileDownloader() {
  // The block being hashed lies in state_'s buffer, which may go first.
  digest_.Settled();
  CloseTransferHandles();
  CloseSession();
  // WinINet may still call back into the state of a handle whose closing it
  // never confirmed, or finish a read into its buffer: freed, that memory
  // would be written after its reuse. It stays allocated until the process
  // ends instead (once per such transfer, a few MiB at most).
  if (close_unconfirmed_) state_.release();
}

void FileDownloader::SetProxy(const std::wstring& proxy) {
  proxy_ = proxy;
}
std::wstring FileDownloader::GetProxy() const {
  return proxy_;
}
void FileDownloader::SetRetryCount(int32_t count) {
  if (count >= 0) retry_count_ = count;
}
void FileDownloader::SetConnectTimeout(uint32_t milliseconds) {
  if (milliseconds != 0) connect_timeout_ = milliseconds;
}
void FileDownloader::SetIfModifiedSince(const SYSTEMTIME& time) {
  if_modified_since_ = time;
}
void FileDownloader::SetWantLastModified(bool want) {
  want_last_modified_ = want;
}
void FileDownloader::SetRestrictAcl(bool restrict_acl) {
  restrict_acl_ = restrict_acl;
}
SYSTEMTIME FileDownloader::GetLastModified() const {
  return last_modified_;
}
void FileDownloader::SetAutoAcceptCertErrors(bool accept) {
  auto_accept_cert_errors_ = accept;
}
void FileDownloader::SetResume(bool resume) {
  resume_ = resume;
}
void FileDownloader::SetExpectedSize(uint64_t size) {
  expected_size_ = size;
}
void FileDownloader::SetSink(IProgressSink* sink) {
  sink_ = sink;
}
void FileDownloader::SetIgnoreCertErrors(bool ignore) {
  ignore_cert_errors_ = ignore;
}
void FileDownloader::AddFormField(const std::wstring& name, const std::wstring& value) {
  if (!form_data_.empty()) form_data_ += L"&";
  form_data_ += name + L"=" + value;
}
std::wstring FileDownloader::GetContentType() const {
  return content_type_;
}
std::wstring FileDownloader::GetCharset() const {
  return CharsetOf(content_type_);
}
uint32_t FileDownloader::GetHttpStatus() const {
  return http_status_;
}

uint32_t FileDownloader::DownloadUrlToFile(const std::wstring& url,
                                           const std::wstring& target_path) {
  return DownloadToFile(std::vector<std::wstring>{url}, target_path);
}

// ---------------------------------------------------------------------------
// Asynchronous calls

void CALLBACK FileDownloader::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                             DWORD) {
  if (context != 0) reinterpret_cast<CallbackState*>(context)->OnStatus(status, info);
}

void FileDownloader::CallbackState::OnStatus(DWORD status, void* info) {
  switch (status) {
    case INTERNET_STATUS_CONNECTION_CLOSED:
      connection_closed = true;
      return;
    case INTERNET_STATUS_HANDLE_CLOSING:
      SetEvent(handle_closed.get());
      return;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      break;
    default:
      return;
  }
  const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
  async_error = result ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR;
  async_result = result ? result->dwResult : 0;
  const int32_t call = pending;
  const bool makes_handle =
      call == 0 || call == 1 || call == 2 || call == 5 || call == kPendingHttpOpen;
  if (makes_handle || call == kPendingFtpCommand) {
    if (makes_handle) async_handle = reinterpret_cast<HINTERNET>(async_result.load());
    // The response text is kept per thread: it is read on the thread that
    // completed the call.
    DWORD code = 0;
    wchar_t text[1024];
    DWORD length = sizeof(text) / sizeof(text[0]);
    if (Wininet().InternetGetLastResponseInfoW(&code, text, &length)) {
      last_response.assign(text, std::min<DWORD>(length, sizeof(text) / sizeof(text[0])));
    } else {
      last_response.clear();
    }
  }
  completed = true;
  SetEvent(request_done.get());
}

uint32_t FileDownloader::RunAsync(Pending pending, const std::function<BOOL(HINTERNET*)>& call,
                                  HINTERNET* handle) {
  // No event is reset or set around a call that completes at once: under
  // Wine each is a request to the Wine server, and reads complete at once
  // thousands of times per transfer (a reset and a set around every call
  // took longer than moving the data). completed is what the wait looks at;
  // the auto-reset event only wakes it, so a signal left from an earlier
  // completion costs one more look at the flag.
  state_->pending = pending;
  state_->completed = false;
  state_->async_result = 0;
  state_->async_error = 0;
  state_->async_handle = nullptr;
  HINTERNET made = nullptr;
  SetLastError(0);
  if (call(&made)) {
    if (handle) *handle = made;
    if (pending == kPendingFtpCommand || pending == kPendingFtpOpen) {
      DWORD code = 0;
      wchar_t text[1024];
      DWORD length = sizeof(text) / sizeof(text[0]);
      if (Wininet().InternetGetLastResponseInfoW(&code, text, &length))
        state_->last_response.assign(text, length);
    }
    return 0;
  }
  DWORD error = GetLastError();
  // Wine's WinINet starts an asynchronous FTP open without setting
  // ERROR_IO_PENDING: there, a failure without an error is a pending call.
  if (error == 0 && pending == kPendingFtpOpen) error = ERROR_IO_PENDING;
  if (error != ERROR_IO_PENDING) return error != 0 ? error : ERROR_INTERNET_INTERNAL_ERROR;
  outstanding_ = true;
  uint32_t waited = WaitForCompletion();
  if (waited != 0) return waited;
  outstanding_ = false;
  if (state_->async_result == 0) {
    return state_->async_error != 0 ? state_->async_error.load() : ERROR_INTERNET_INTERNAL_ERROR;
  }
  if (handle) *handle = state_->async_handle;
  return 0;
}

uint32_t FileDownloader::WaitForCompletion() {
  // The completion wakes the wait at once; the timeout only bounds how long a
  // cancellation goes unnoticed while the server sends nothing.
  while (!state_->completed) {
    if (Canceled()) return kDownloadCanceled;
    WaitForSingleObject(state_->request_done.get(), kCancelPollMs);
  }
  return 0;
}

void FileDownloader::CloseHandleAndWait(UniqueInternet* handle) {
  if (!handle->valid()) return;
  ResetEvent(state_->handle_closed.get());
  handle->reset();
  // The callback must be done with this object before it goes away: a call
  // left outstanding by a cancellation completes (cancelled) when its handle
  // closes. The waits are bounded so that a WinINet that never confirms
  // cannot hang the run.
  const DWORD start = GetTickCount();
  while (outstanding_ && !state_->completed && GetTickCount() - start < kCloseWaitMs) {
    WaitForSingleObject(state_->request_done.get(), kCancelPollMs);
  }
  const bool call_ended = !outstanding_ || state_->completed;
  outstanding_ = false;
  const bool closed = WaitForSingleObject(state_->handle_closed.get(), kCloseWaitMs) == WAIT_OBJECT_0;
  if ((!call_ended || !closed) && !close_unconfirmed_) {
    close_unconfirmed_ = true;
    LogLine(FormatW(L"WinINet did not confirm closing a transfer within %lu ms; its callback "
                    L"data is kept until the program ends.",
                    static_cast<unsigned long>(kCloseWaitMs)));
  }
}

void FileDownloader::CloseTransferHandles() {
  CloseHandleAndWait(&request_);
  CloseHandleAndWait(&connection_);
}

void FileDownloader::CloseSession() {
  if (!session_) return;
  Wininet().InternetSetStatusCallbackW(session_.get(), nullptr);
  session_.reset();
}

uint32_t FileDownloader::OpenSession() {
  CloseTransferHandles();
  CloseSession();
  state_->request_done.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  state_->handle_closed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state_->request_done || !state_->handle_closed) return GetLastError();
  // Every other WinINet call of a transfer goes through the session made here.
  const WininetApi* wininet = WininetDll();
  if (!wininet) return GetLastError();
  session_.reset(wininet->InternetOpenW(
      L"Corvane", proxy_.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY,
      OrNull(proxy_), nullptr, INTERNET_FLAG_ASYNC));
  if (!session_) return GetLastError();
  if (Wininet().InternetSetStatusCallbackW(session_.get(), StatusCallback) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    return GetLastError();
  }
  if (connect_timeout_ != 0) {
    DWORD timeout = connect_timeout_;
    Wininet().InternetSetOptionW(session_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                                 sizeof(timeout));
  }
  return 0;
}

// ---------------------------------------------------------------------------
// The transfer

bool FileDownloader::Canceled() const {
  return sink_ != nullptr && sink_->IsCanceled();
}

void FileDownloader::WaitWhilePaused() {
  while (sink_ != nullptr && sink_->IsPaused() && !sink_->IsCanceled()) Sleep(10);
}

std::wstring FileDownloader::TargetFileName() const {
  return FileNameOf(target_path_);
}

uint32_t FileDownloader::Fail(uint32_t error, bool with_name) {
  if (sink_ != nullptr && error != kDownloadCanceled && error != kDownloadNotModified) {
    sink_->ReportError(with_name && !posting_ ? TargetFileName() : std::wstring(), error, nullptr);
  }
  return error;
}

uint32_t FileDownloader::ValidateUrls() {
  if (urls_.empty()) return kDownloadUnsupportedScheme;
  for (const std::wstring& url : urls_) {
    UrlParts parts;
    DWORD error = CrackUrl(url, &parts);
    if (error != 0) return error;
    switch (SchemeKindOf(parts.scheme)) {
      case SchemeKind::kFtp:
      case SchemeKind::kHttp:
      case SchemeKind::kHttps:
        break;
      case SchemeKind::kFile:
        reconnect_ = false;
        break;
      default:
        return kDownloadUnsupportedScheme;
    }
  }
  return 0;
}

uint32_t FileDownloader::DownloadToFile(const std::vector<std::wstring>& urls,
                                        const std::wstring& target_path) {
  CloseTransferHandles();
  urls_ = urls;
  target_path_ = target_path;
  part_path_ = target_path + L".part";
  reconnect_ = true;
  posting_ = false;
  resumed_part_ = false;
  digest_ready_ = false;
  uint32_t error = ValidateUrls();
  if (error != 0) return Fail(error, false);
  error = OpenSession();
  if (error != 0) return Fail(error, false);
  if (!IsDriveAbsolute(target_path_) && !StartsWithTwoBackslashes(target_path_)) {
    CloseSession();
    return Fail(kDownloadTargetNotAbsolute, false);
  }

  uint64_t offset = 0;
  if (resume_) {
    UniqueFile part(CreateFileW(part_path_.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (part && !FileSize(part.get(), &offset)) offset = 0;
    offset = ResumeOffset(offset, expected_size_);
  }

  uint64_t total = 0;
  SourceKind kind = SourceKind::kNetwork;
  error = OpenWithRetries(&offset, &total, &kind);
  if (PartCannotResume(error, offset) && !Canceled()) {
    // Kept, this ".part" file would fail every later run the same way: it
    // goes, and the file comes once more from its first byte.
    if (LoggingEnabled) {
      LogLine(FormatW(L"The partial download cannot be resumed, downloading from the start. "
                      L"Error:%lu",
                      static_cast<unsigned long>(error)));
    }
    DeleteFileLong(part_path_);
    offset = 0;
    error = OpenWithRetries(&offset, &total, &kind);
  }
  resumed_part_ = error == 0 && offset != 0;
  if (error == 0 && Canceled()) error = kDownloadCanceled;
  if (error == 0 && expected_size_ != 0 && total != 0 && total != expected_size_) {
    error = kDownloadSizeMismatch;
  }
  if (error != 0) {
    CloseTransferHandles();
    CloseSession();
    return Canceled() ? kDownloadCanceled : Fail(error, true);
  }
  if (kind == SourceKind::kLocal) {
    error = CopyLocal(current_url_);
  } else {
    error = ReadToFile(offset, total, true);
  }
  CloseTransferHandles();
  CloseSession();
  return error;
}

uint32_t FileDownloader::OpenWithRetries(uint64_t* offset, uint64_t* total, SourceKind* kind) {
  if (urls_.empty()) return kDownloadUnsupportedScheme;
  int32_t attempts_left = std::max<int32_t>(retry_count_, static_cast<int32_t>(urls_.size()) - 1);
  if (credentials_ != nullptr) credentials_->AllowRemembered();
  size_t index = 0;
  for (;;) {
    CloseTransferHandles();
    uint64_t attempt_offset = *offset;
    current_url_ = urls_[index];
    uint32_t error = OpenUrl(urls_[index], &attempt_offset, total, kind);
    if (error == 0) {
      *offset = attempt_offset;
      return 0;
    }
    if (error == kDownloadCanceled || Canceled()) return kDownloadCanceled;
    if (!NextAttempt(error, urls_.size(), &attempts_left, &index)) return error;
  }
}

uint32_t FileDownloader::OpenUrl(const std::wstring& url, uint64_t* offset, uint64_t* total,
                                 SourceKind* kind) {
  UrlParts parts;
  DWORD error = CrackUrl(url, &parts);
  if (error != 0) return error;
  *kind = SourceKind::kNetwork;
  switch (SchemeKindOf(parts.scheme)) {
    case SchemeKind::kFtp:
      return OpenFtp(url, parts, offset, total);
    case SchemeKind::kHttp:
    case SchemeKind::kHttps:
      return OpenHttp(url, parts, posting_ ? L"POST" : L"GET", offset, total);
    case SchemeKind::kFile:
      *kind = SourceKind::kLocal;
      *offset = 0;
      *total = 0;
      return 0;
    default:
      return kDownloadUnsupportedScheme;
  }
}
