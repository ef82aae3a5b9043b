// The receiving side of a transfer: the ".part" file, reading blocks,
// reconnecting after a dropped connection, finishing, and local copies.
#include <windows.h>

#include <algorithm>
#include <vector>

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

constexpr int kMaxCredentialAsks = 10;

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
  // The block is asked for at once, without asking how much is available
  // first: Wine's WinINet never reports more than the 8 KiB its own buffer
  // holds, so a block became a string of small query-and-read pairs, and the
  // queries alone took longer than reading and writing the data.
  *got = 0;
  const DWORD size = read_size_;
  const DWORD start = GetTickCount();
  uint32_t error = 0;
  if (ftp_file_) {
    state_->bytes_read = 0;
    error = RunAsync(kPendingRead, [&](HINTERNET*) {
      return Wininet().InternetReadFile(request_.get(), ReadBuffer(), size,
                                        &state_->bytes_read);
    });
    if (error == 0) *got = state_->bytes_read;
  } else {
    // HTTP reads go through InternetReadFileEx: Wine's InternetReadFile
    // zeroes the count after it has handed the read to its worker thread,
    // and when that thread finished first, a block already taken from the
    // stream was reported as 0 bytes: lost from the file, or taken for the
    // end of a body of unknown length.
    INTERNET_BUFFERSA& read = state_->read_request;
    read = INTERNET_BUFFERSA();
    read.dwStructSize = sizeof(read);
    read.lpvBuffer = ReadBuffer();
    read.dwBufferLength = size;
    error = RunAsync(kPendingRead, [&](HINTERNET*) {
      return Wininet().InternetReadFileExA(request_.get(), &read, IRF_ASYNC,
                                           reinterpret_cast<DWORD_PTR>(state_.get()));
    });
    if (error == 0) *got = read.dwBufferLength;
  }
  if (error != 0) return error;
  *got = std::min<DWORD>(*got, size);
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

  StartDigest();
  UniqueFile part;
  if (offset != 0) {
    part.reset(CreateFileW(part_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // The bytes kept from an earlier transfer are hashed once, here; the
    // rest as it arrives.
    if (part) SyncDigest(part.get(), offset);
    if (part && !SeekAndTruncate(part.get(), offset)) part.reset();
  } else {
    part = CreatePart();
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
    error = keep != 0 ? WriteToPart(part.get(), ReadBuffer(), keep) : 0;
    if (error != 0) return Fail(error, true);
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
  SyncDigest(part, offset);
  if (!SeekAndTruncate(part, offset)) return GetLastError();
  *written = offset;
  return 0;
}

UniqueFile FileDownloader::CreatePart() {
  RestrictedSecurity security;
  return UniqueFile(CreateFileW(part_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                restrict_acl_ ? security.attributes() : nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint32_t FileDownloader::WriteToPart(HANDLE part, const char* data, DWORD size) {
  DWORD put = 0;
  if (!WriteFile(part, data, size, &put, nullptr) || put != size) {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
  batch_fill_ += size;
  if (kHashBatchSize - batch_fill_ < kMaxReadSize) HandOverBatch();
  return 0;
}

void FileDownloader::StartDigest() {
  digest_.Start(digest_kinds_);
  digest_exact_ = true;
  batch_fill_ = 0;  // bytes of an earlier transfer that were never handed over
}

void FileDownloader::HandOverBatch() {
  if (batch_fill_ == 0) return;
  // The batch is hashed while the next one is read into the other half.
  digest_.Add(BatchStart(), batch_fill_);
  read_half_ ^= 1;
  batch_fill_ = 0;
}

void FileDownloader::SyncDigest(HANDLE part, uint64_t offset) {
  HandOverBatch();
  StreamDigest& digest = digest_.Settled();
  if (digest.kinds() == 0 || (digest_exact_ && digest.size() == offset)) return;
  // A resume, or a restart from the first byte or from another offset: the
  // digest starts again from what the file now holds.
  digest.Start(digest.kinds());
  digest_exact_ = HashFileHead(part, offset, &digest);
}

uint32_t FileDownloader::FinishPart(UniqueFile* part) {
  // The digest counts as the file's only when it covers exactly the bytes
  // the ".part" file holds; otherwise the acceptance reads the file.
  uint64_t size = 0;
  HandOverBatch();
  const StreamDigest& digest = digest_.Settled();
  const bool digest_whole = digest_exact_ && digest.kinds() != 0 && part->valid() &&
                            FileSize(part->get(), &size) && size == digest.size();
  part->reset();
  DeleteFileLong(target_path_);
  if (!MoveFileW(part_path_.c_str(), target_path_.c_str())) {
    if (!CopyFileW(part_path_.c_str(), target_path_.c_str(), FALSE)) {
      return Fail(GetLastError(), true);
    }
    DeleteFileLong(part_path_);
  }
  if (report_progress_ && sink_ != nullptr) sink_->EndTransfer(1, 0);
  digest_ready_ = digest_whole;
  return 0;
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
  // Copied block by block rather than by CopyFileExW, so that every block
  // written is hashed as it passes, as a network transfer's are; the copy
  // also does not take over the source's attributes (a read-only source
  // would leave a download the cleanup cannot delete).
  UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  UniqueFile part = from ? CreatePart() : UniqueFile();
  if (!part) return Fail(GetLastError(), true);
  StartDigest();
  for (;;) {
    DWORD got = 0;
    char* buffer = ReadBuffer();
    if (!ReadFile(from.get(), buffer, kMaxReadSize, &got, nullptr)) {
      error = GetLastError();
    } else if (got == 0) {
      return FinishPart(&part);
    } else {
      error = WriteToPart(part.get(), buffer, got);
    }
    if (error == 0 && sink_ != nullptr) sink_->AddBytes(got);
    if (error == 0) WaitWhilePaused();
    if (error != 0 || Canceled()) {
      // Never resumed: what was copied goes.
      part.reset();
      DeleteFileLong(part_path_);
      return Canceled() ? kDownloadCanceled : Fail(error, true);
    }
  }
}
