// The receiving side of a transfer: the ".part" file, reading blocks,
// reconnecting after a dropped connection, finishing, and local copies.
#include <windows.h>

#include <algorithm>

#include "download/credential_store.h"
#include "download/download_errors.h"
#include "download/file_digest.h"
#include "download/file_downloader.h"
#include "download/restricted_security.h"
#include "ui/progress_sink.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/system_library.h"

namespace {

constexpr DWORD kCopyProgressMs = 200;
constexpr int kMaxCredentialAsks = 10;
// Empty reads in a row that the server is still said to have data for; more
// than this and the body is taken as ended rather than read for ever.
constexpr int kMaxEmptyReads = 3;

// Moves the file pointer to position and cuts what lies beyond.
bool SeekAndTruncate(HANDLE file, uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// "\\srv\share" of "\\srv\share\dir\a.msi"; empty for a drive path.
std::wstring ShareOf(const std::wstring& path) {
  if (!StartsWithTwoBackslashes(path)) return {};
  size_t host_end = path.find(L'\\', 2);
  if (host_end == std::wstring::npos) return path;
  size_t share_end = path.find(L'\\', host_end + 1);
  return share_end == std::wstring::npos ? path : path.substr(0, share_end);
}

bool IsLogonFailure(DWORD error) {
  return error == 86 || error == 1326 || error == 2202;
}

}  // namespace

uint32_t FileDownloader::ReadBlock(DWORD* got) {
  // The block is asked for at once, without InternetQueryDataAvailable
  // first: Wine's WinINet never reports more than the 8 KiB its own buffer
  // holds, so a block became a string of small query-and-read pairs, and the
  // queries alone took longer than reading and writing the data.
  *got = 0;
  const DWORD size = read_size_;
  const DWORD start = GetTickCount();
  // Wine's WinINet now and then answers a read with 0 bytes while the body
  // goes on (about one 600,000-byte transfer in 100 on loopback, always one
  // block before the announced end). Taken as the end, that would cut a file
  // of unknown length short, so an empty read is confirmed by asking whether
  // anything is left; about half the time that finds the data again. When it
  // does not, a known total still brings the rest through a reconnect.
  for (int confirmations = 0;; ++confirmations) {
    state_->bytes_read = 0;
    uint32_t error = RunAsync(kPendingRead, [&](HINTERNET*) {
      return Wininet().InternetReadFile(request_.get(), state_->buffer.data(), size, &state_->bytes_read);
    });
    if (error != 0) return error;
    *got = std::min<DWORD>(state_->bytes_read, size);
    if (*got != 0 || confirmations == kMaxEmptyReads) break;
    state_->bytes_available = 0;
    error = RunAsync(kPendingQueryData, [&](HINTERNET*) {
      return Wininet().InternetQueryDataAvailable(request_.get(), &state_->bytes_available, 0, 0);
    });
    if (error != 0) return error;
    // An asynchronous completion carries the count in its error field.
    if ((went_async_ ? state_->async_error.load() : state_->bytes_available) == 0) break;
  }
  read_size_ = NextReadSize(size, *got, GetTickCount() - start);
  return 0;
}

uint32_t FileDownloader::ReadToFile(uint64_t offset, uint64_t total, bool report_progress) {
  report_progress_ = report_progress;
  read_size_ = kMinReadSize;
  if (report_progress_ && sink_ != nullptr) sink_->BeginTransfer(1, total, target_path_);
  if (Canceled()) return kDownloadCanceled;
  DWORD error = CreateFolderTree(part_path_, false);
  if (error != 0) return Fail(error, true);

  UniqueFile part;
  if (offset != 0) {
    part.reset(CreateFileW(part_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (part && !SeekAndTruncate(part.get(), offset)) part.reset();
  } else {
    RestrictedSecurity security;
    part.reset(CreateFileW(part_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           restrict_acl_ ? security.attributes() : nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!part) {
    error = GetLastError();
    return Canceled() ? kDownloadCanceled : Fail(error, true);
  }
  if (report_progress_ && sink_ != nullptr) sink_->AddBytes(offset);

  uint64_t written = offset;
  // Reconnects that bring no new data in a row; a server that keeps dropping
  // the connection before the first byte must not keep the transfer for ever.
  int idle_reconnects = 0;
  for (;;) {
    // Nothing past the announced total is needed; a 416 that confirms a
    // complete ".part" file gets here with nothing to read at all.
    if (total != 0 && written >= total) return FinishPart(&part);
    DWORD got = 0;
    uint32_t result = ReadBlock(&got);
    if (result == kDownloadCanceled) return result;
    if (result != 0 || got == 0) {
      if (result == 0 && total == 0) return FinishPart(&part);
      const uint32_t failure = result != 0 ? result : kDownloadPrematureEnd;
      const bool dropped = result == 0 || IsDroppedConnection(result);
      const int32_t most = std::max<int32_t>(retry_count_, 1);
      if (!dropped || !reconnect_ || ++idle_reconnects > most) return Fail(failure, true);
      // The new connection can be dropped too before it answers (a server
      // restarting, a stale pooled connection): another reconnect of the same
      // bounded count.
      do {
        result = Reconnect(part.get(), &written, &total);
      } while (result != 0 && IsDroppedConnection(result) && !Canceled() &&
               ++idle_reconnects <= most);
      if (result != 0) return Canceled() ? kDownloadCanceled : Fail(result, true);
      continue;
    }
    // A body that goes on past the size expected (or, with none, past the
    // limit) is not the file: what fits is kept, the rest never reaches the
    // disk, and a server streaming for ever cannot fill it.
    const uint64_t limit = expected_size_ != 0 ? expected_size_ : size_limit_;
    const uint64_t room = limit > written ? limit - written : 0;
    const bool overrun = got > room;
    const DWORD keep = overrun ? static_cast<DWORD>(room) : got;
    DWORD put = 0;
    if (keep != 0 && (!WriteFile(part.get(), state_->buffer.data(), keep, &put, nullptr) || put != keep)) {
      error = GetLastError();
      return Fail(error != 0 ? error : ERROR_WRITE_FAULT, true);
    }
    written += keep;
    idle_reconnects = 0;
    if (report_progress_ && sink_ != nullptr && keep != 0) sink_->AddBytes(keep);
    if (overrun)
      return Fail(expected_size_ != 0 ? kDownloadSizeMismatch : ERROR_FILE_TOO_LARGE, true);
    WaitWhilePaused();
    if (Canceled()) return kDownloadCanceled;
  }
}

uint32_t FileDownloader::Reconnect(HANDLE part, uint64_t* written, uint64_t* total) {
  FlushFileBuffers(part);
  uint64_t size = 0;
  if (!FileSize(part, &size)) return GetLastError();
  uint64_t offset = resume_ ? size : 0;
  SourceKind kind = SourceKind::kNetwork;
  uint32_t error = OpenWithRetries(&offset, total, &kind);
  if (error != 0) return error;
  // A server that now sends the file from another place cannot continue it.
  if (size != 0 && offset != size) return ERROR_INTERNET_TIMEOUT;
  if (!SeekAndTruncate(part, offset)) return GetLastError();
  *written = offset;
  return 0;
}

uint32_t FileDownloader::FinishPart(UniqueFile* part) {
  part->reset();
  DeleteFileLong(target_path_);
  if (!MoveFileW(part_path_.c_str(), target_path_.c_str())) {
    if (!CopyFileW(part_path_.c_str(), target_path_.c_str(), FALSE)) {
      return Fail(GetLastError(), true);
    }
    DeleteFileLong(part_path_);
  }
  if (report_progress_ && sink_ != nullptr) sink_->EndTransfer(1, 0);
  return 0;
}

DWORD CALLBACK FileDownloader::CopyProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                                            LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                                            void* data) {
  auto* self = static_cast<FileDownloader*>(data);
  if (self->Canceled()) return PROGRESS_CANCEL;
  const DWORD now = GetTickCount();
  const uint64_t done = static_cast<uint64_t>(transferred.QuadPart);
  if (now - self->copy_last_tick_ >= kCopyProgressMs && done > self->copy_reported_) {
    if (self->sink_ != nullptr) self->sink_->AddBytes(done - self->copy_reported_);
    self->copy_reported_ = done;
    self->copy_last_tick_ = now;
  }
  return PROGRESS_CONTINUE;
}

uint32_t FileDownloader::CopyLocal(const std::wstring& url) {
  report_progress_ = true;
  UrlParts parts;
  DWORD error = CrackUrl(url, &parts);
  if (error != 0) return Fail(error, true);
  const std::wstring source = PercentDecode(LocalPathOfFileUrl(url));
  if (source.empty()) return Fail(ERROR_INVALID_NAME, true);

  std::wstring user = parts.user;
  std::wstring password = parts.password;
  std::wstring share = ShareOf(source);
  bool connect = !user.empty();
  FILETIME last_write = {};
  DWORD size_low = 0;
  for (int asks = 0;; ++asks) {
    error = 0;
    if (connect && !share.empty()) {
      NETRESOURCEW resource = {};
      resource.dwType = RESOURCETYPE_DISK;
      resource.lpRemoteName = &share[0];
      const MprApi* mpr = MprDll();
      error = mpr ? mpr->WNetAddConnection2W(&resource, password.c_str(), user.c_str(), 0)
                  : GetLastError();
    }
    if (error == 0) error = GetFileInfo(source, &last_write, &size_low);
    if (error == 0) break;
    if (!IsLogonFailure(error) || asks >= kMaxCredentialAsks ||
        !RequestCredentials(nullptr, url, L"Local Network Server", false, std::wstring(), &user,
                            &password, credentials_, sink_)) {
      return Fail(error, true);
    }
    connect = true;
  }
  if (if_modified_since_.wYear != 0) {
    FILETIME since;
    if (SystemTimeToFileTime(&if_modified_since_, &since) &&
        CompareFileTime(&last_write, &since) <= 0) {
      return kDownloadNotModified;
    }
  }
  uint64_t size = size_low;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data)) {
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  if (expected_size_ != 0 && size != expected_size_) return Fail(kDownloadSizeMismatch, true);

  if (sink_ != nullptr) sink_->BeginTransfer(1, size, target_path_);
  error = CreateFolderTree(part_path_, false);
  if (error != 0) return Fail(error, true);
  copy_reported_ = 0;
  copy_last_tick_ = GetTickCount();
  BOOL cancel = FALSE;
  if (!CopyFileExW(source.c_str(), part_path_.c_str(), CopyProgress, this, &cancel, 0)) {
    error = GetLastError();
    return Canceled() || error == ERROR_REQUEST_ABORTED ? kDownloadCanceled : Fail(error, true);
  }
  if (Canceled()) return kDownloadCanceled;
  if (sink_ != nullptr && size > copy_reported_) sink_->AddBytes(size - copy_reported_);
  UniqueFile none;
  return FinishPart(&none);
}
