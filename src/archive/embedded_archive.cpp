#include "archive/embedded_archive.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "archive/pe_overlay.h"
#include "archive/seven_zip_archive.h"
#include "core/self_delete_batch.h"
#include "core/stable_numbers.h"
#include "install/pack_unpacker.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

// Reads the executable; remembers why the last read failed. Not file-local:
// EmbeddedArchive::Reader holds one.
class ModuleSource : public IByteSource {
 public:
  explicit ModuleSource(UniqueFile file, uint64_t size) : file_(std::move(file)), size_(size) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > size_ || size > size_ - offset) {
      error_ = ERROR_HANDLE_EOF;
      return false;
    }
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) {
      error_ = GetLastError();
      return false;
    }
    uint8_t* bytes = static_cast<uint8_t*>(data);
    while (size != 0) {
      const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
      DWORD read = 0;
      if (!ReadFile(file_.get(), bytes, ask, &read, nullptr) || read == 0) {
        error_ = read == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_HANDLE_EOF : GetLastError();
        return false;
      }
      bytes += read;
      size -= read;
    }
    return true;
  }
  uint64_t Size() const override { return size_; }
  DWORD error() const { return error_ ? error_ : ERROR_READ_FAULT; }

 private:
  UniqueFile file_;
  uint64_t size_;
  DWORD error_ = 0;
};

namespace {

std::wstring SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = length ? std::wstring(text, length) : FormatW(L"%lu", code);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                             result.back() == L' ' || result.back() == L'.')) {
    result.pop_back();
  }
  return result;
}

void LogFailure(const wchar_t* label, const std::wstring& name, DWORD code) {
  if (LoggingEnabled) LOGGER.Write(FormatW(L"%s%s Error:%lu", label, name.c_str(), code));
}

DWORD ErrorOf(DecodeStatus status, DWORD read_error) {
  switch (status) {
    case DecodeStatus::Ok:
      return ERROR_SUCCESS;
    case DecodeStatus::ReadError:
      return read_error;
    case DecodeStatus::DataError:
      return ERROR_INVALID_DATA;
    case DecodeStatus::CrcError:
      return ERROR_CRC;
    case DecodeStatus::Unsupported:
      return ERROR_NOT_SUPPORTED;
    case DecodeStatus::NoMemory:
      return ERROR_NOT_ENOUGH_MEMORY;
    case DecodeStatus::Canceled:
      return ERROR_CANCELLED;
    case DecodeStatus::WriteError:
      return ERROR_WRITE_FAULT;
  }
  return ERROR_INVALID_DATA;
}

// A batch file tries every 5 seconds for 5 minutes.
constexpr uint32_t kBatchAttempts = 60;

std::unique_ptr<SelfDeleteBatch> BatchFor(const std::wstring& path, bool is_folder) {
  std::unique_ptr<SelfDeleteBatch> batch(new SelfDeleteBatch());
  batch->SetTarget(path);
  batch->set_is_folder(is_folder);
  batch->set_retry_count(kBatchAttempts);
  return batch;
}
}  // namespace

// The opened executable and the 7z archives read so far.
struct EmbeddedArchive::Reader {
  std::unique_ptr<ModuleSource> module;
  std::unique_ptr<WindowSource> overlay;
  std::vector<std::unique_ptr<WindowSource>> windows;
  std::vector<std::unique_ptr<SevenZipArchive>> archives;
  std::vector<DecodeStatus> open_status;

  // The archive that holds the entry, opened on first use.
  DecodeStatus Archive(const BundleIndex& index, uint32_t number, SevenZipArchive** out) {
    if (!archives[number] && open_status[number] == DecodeStatus::Ok) {
      const BundledArchive& where = index.archives[number];
      windows[number].reset(new WindowSource(*overlay, where.offset, where.size));
      std::unique_ptr<SevenZipArchive> archive(new SevenZipArchive());
      open_status[number] = archive->Open(*windows[number]);
      if (open_status[number] == DecodeStatus::Ok) archives[number] = std::move(archive);
    }
    *out = archives[number].get();
    return open_status[number];
  }
};

EmbeddedArchive::EmbeddedArchive() = default;

EmbeddedArchive::~EmbeddedArchive() {
  RemoveExtracted();
}

void EmbeddedArchive::RemoveExtracted() {
  // A setup that has just exited may still hold its own file for a moment
  // (the system unmapping its image, a virus scanner): such files get a few
  // more tries, all of them together bounded so that the exit never hangs.
  // What stays locked beyond that (a program the setup left running) is
  // handed to a hidden batch file that removes it once it is free.
  const DWORD deadline = GetTickCount() + kHeldPathRetryMs;
  std::vector<std::unique_ptr<SelfDeleteBatch>> batches;
  for (auto it = extracted_files_.rbegin(); it != extracted_files_.rend(); ++it) {
    if (DeleteFileWithRetry(*it, deadline)) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
      batches.push_back(BatchFor(*it, false));
    }
  }
  // Deepest first; a folder that still holds something not ours stays. The
  // folder a setup ran in is held a moment longer than its file. While a
  // locked file waits for its batch file, its folders wait with it.
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it) {
    if (!RemoveFolderWithRetry(*it, deadline) && !batches.empty()) {
      batches.push_back(BatchFor(*it, true));
    }
  }
  extracted_files_.clear();
  created_folders_.clear();
}

void EmbeddedArchive::SetHome(const std::wstring& module_path) {
  module_path_ = module_path;
  home_folder_ = WithTrailingBackslash(FolderOf(module_path));
}

void EmbeddedArchive::SetDestination(const std::wstring& folder) {
  destination_ = WithTrailingBackslash(folder);
}

std::vector<std::wstring> EmbeddedArchive::extracted_files() const {
  return extracted_files_;
}

uint32_t EmbeddedArchive::ExtractionResult(int32_t entry) {
  std::lock_guard<CriticalSection> hold(lock_);
  if (extracted_entries_.count(entry)) return 0;
  const auto failed = failed_entries_.find(entry);
  return failed == failed_entries_.end() ? ERROR_FILE_NOT_FOUND : failed->second;
}

uint32_t EmbeddedArchive::ReadError() {
  std::lock_guard<CriticalSection> hold(lock_);
  EnsureIndex();
  return read_error_;
}

bool EmbeddedArchive::EnsureIndex() {
  if (index_read_) return reader_ != nullptr;
  index_read_ = true;
  if (module_path_.empty()) return false;
  UniqueFile file(CreateFileW(ToLongPath(module_path_).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size)) {
    read_error_ = GetLastError();
    if (read_error_ == 0) read_error_ = ERROR_READ_FAULT;
    LogFailure(L"Failed to read the embedded archive:", module_path_, read_error_);
    return false;
  }
  std::unique_ptr<Reader> reader(new Reader());
  reader->module.reset(new ModuleSource(std::move(file), static_cast<uint64_t>(size.QuadPart)));
  ModuleSource& module = *reader->module;
  std::vector<uint8_t> headers(
      static_cast<size_t>(module.Size() < kPeHeaderReadSize ? module.Size() : kPeHeaderReadSize));
  OverlaySpan span;
  if (!module.ReadAt(0, headers.data(), headers.size()) ||
      !FindOverlay(headers.data(), headers.size(), module.Size(), &span)) {
    read_error_ = ERROR_BAD_EXE_FORMAT;
    LogFailure(L"Failed to read the embedded archive:", module_path_, read_error_);
    return false;
  }
  const uint64_t overlay_size = span.end - span.start;
  WindowSource overlay(module, span.start, overlay_size);
  const IndexStatus status = ReadBundleIndex(overlay, &index_);
  if (status == IndexStatus::NoBundle) return false;
  if (status != IndexStatus::Ok) {
    index_ = BundleIndex();
    read_error_ = ERROR_INVALID_DATA;
    LogFailure(L"Failed to read the embedded archive:", module_path_, read_error_);
    return false;
  }
  reader->overlay.reset(new WindowSource(module, span.start, overlay_size));
  reader->windows.resize(index_.archives.size());
  reader->archives.resize(index_.archives.size());
  reader->open_status.assign(index_.archives.size(), DecodeStatus::Ok);
  reader_ = std::move(reader);
  return true;
}

int32_t EmbeddedArchive::Lookup(const std::wstring& file_name, std::wstring* path) {
  std::lock_guard<CriticalSection> hold(lock_);
  *path = destination_ + file_name;
  if (!EnsureIndex()) return -1;
  for (size_t i = 0; i < index_.entries.size(); ++i) {
    if (EqualsIgnoreCaseAscii(index_.entries[i].name, file_name)) {
      *path = destination_ + index_.entries[i].name;
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

uint32_t EmbeddedArchive::Extract(const std::vector<int32_t>& entries, bool,
                                  IExtractionProgress* progress) {
  std::lock_guard<CriticalSection> hold(lock_);
  if (!EnsureIndex()) return entries.empty() ? 0 : ERROR_FILE_NOT_FOUND;
  uint32_t first_error = 0;
  const size_t files_before = extracted_files_.size();
  for (EntryKind kind : {EntryKind::SetupFile, EntryKind::SearchHelper}) {
    std::vector<int32_t> group;
    for (int32_t entry : entries) {
      if (entry < 0 || static_cast<size_t>(entry) >= index_.entries.size()) {
        if (!first_error) first_error = ERROR_FILE_NOT_FOUND;
        continue;
      }
      if (index_.entries[entry].kind != kind || extracted_entries_.count(entry)) continue;
      bool listed = false;
      for (int32_t other : group) listed = listed || other == entry;
      if (!listed) group.push_back(entry);
    }
    const uint32_t error = ExtractGroup(group, progress);
    if (!first_error) first_error = error;
    // Entries the group never reached (no space, cancelled) fail with it.
    for (int32_t entry : group) {
      if (error && !extracted_entries_.count(entry)) failed_entries_.emplace(entry, error);
    }
    if (error == ERROR_CANCELLED) break;
  }
  if (extracted_files_.size() > files_before) {
    UnpackJavaArchives(
        std::vector<std::wstring>(extracted_files_.begin() + files_before, extracted_files_.end()),
        progress);
  }
  return first_error;
}

uint32_t EmbeddedArchive::PrepareDestination() {
  if (destination_.empty()) return ERROR_PATH_NOT_FOUND;
  if (PathExists(destination_)) return 0;
  return CreateFolderTree(destination_, true, &created_folders_);
}

uint32_t EmbeddedArchive::ExtractGroup(const std::vector<int32_t>& entries,
                                       IExtractionProgress* progress) {
  if (entries.empty()) return 0;
  const uint32_t prepared = PrepareDestination();
  if (prepared != 0) {
    for (int32_t entry : entries) {
      LogFailure(L"Failed to extract file:", index_.entries[entry].name, prepared);
    }
    ReportErrorMessage(
        FormatResString(IDS_WRITE_FAILED, destination_.c_str(), SystemErrorText(prepared).c_str()));
    return prepared;
  }
  // Sizes come from the 7z headers; an archive that cannot be opened fails
  // its entries below, with its own message.
  uint64_t required = 0;
  for (int32_t entry : entries) {
    SevenZipArchive* archive = nullptr;
    if (reader_->Archive(index_, index_.entries[entry].archive, &archive) != DecodeStatus::Ok) {
      continue;
    }
    const int32_t item = archive->Find(index_.entries[entry].name);
    if (item >= 0) required += archive->FileSize(static_cast<uint32_t>(item));
  }
  const std::wstring folder = destination_;
  auto has_space = [&folder, required]() {
    ULARGE_INTEGER available = {};
    // When the free space cannot be read, the writes will tell.
    if (!GetDiskFreeSpaceExW(ToLongPath(folder).c_str(), &available, nullptr, nullptr)) {
      return true;
    }
    return available.QuadPart >= required;
  };
  if (!has_space() && !AskForDiskSpace(folder, has_space)) {
    for (int32_t entry : entries) {
      LogFailure(L"Not enough disk space to extract file:", index_.entries[entry].name,
                 ERROR_DISK_FULL);
    }
    return ERROR_DISK_FULL;
  }
  if (progress) progress->BeginExtraction(required);
  uint32_t first_error = 0;
  for (int32_t entry : entries) {
    const uint32_t error = ExtractEntry(entry, progress);
    if (!first_error) first_error = error;
    if (error == ERROR_CANCELLED) break;
  }
  return first_error;
}

uint32_t EmbeddedArchive::ExtractEntry(int32_t entry, IExtractionProgress* progress) {
  const BundledEntry& record = index_.entries[entry];
  const std::wstring target = destination_ + record.name;
  SevenZipArchive* archive = nullptr;
  DecodeStatus status = reader_->Archive(index_, record.archive, &archive);
  int32_t item = -1;
  if (status == DecodeStatus::Ok) {
    item = archive->Find(record.name);
    if (item < 0) status = DecodeStatus::DataError;  // the index names a file the 7z lacks
  }
  DWORD error = 0;
  bool canceled = false;
  // Written under another name and renamed once complete and verified, so a
  // half file never stands where the launcher or a later run looks. Neither
  // name may replace a file: the folder can be the user's own (the setup's
  // folder, the temporary folder), and whatever this object extracted is
  // deleted at exit, so taking over a file would delete what is not ours.
  const std::wstring partial = target + FormatW(L".%lu.partial", GetCurrentProcessId());
  bool in_the_way = false;
  if (status == DecodeStatus::Ok) {
    UniqueFile out(CreateFileW(ToLongPath(partial).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool created = static_cast<bool>(out);
    if (!out) {
      error = GetLastError();
      status = DecodeStatus::WriteError;
    } else {
      if (progress) progress->BeginFile(target);
      status = archive->Extract(
          static_cast<uint32_t>(item), index_.archives[record.archive].password,
          [&](const uint8_t* data, size_t size) {
            if (progress && progress->IsCanceled()) {
              canceled = true;
              return false;
            }
            DWORD written = 0;
            if (!WriteFile(out.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
                written != size) {
              error = GetLastError();
              return false;
            }
            if (progress) progress->AddBytes(size);
            return true;
          });
      if (status == DecodeStatus::Ok && !CloseHandle(out.release())) {
        error = GetLastError();
        status = DecodeStatus::WriteError;
      }
    }
    out.reset();  // closed before the rename or the removal
    if (status == DecodeStatus::Ok &&
        !MoveFileExW(ToLongPath(partial).c_str(), ToLongPath(target).c_str(), 0)) {
      error = GetLastError();
      status = DecodeStatus::WriteError;
      in_the_way = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    }
    if (status != DecodeStatus::Ok && created) DeleteFileLong(partial);
  }
  if (status == DecodeStatus::Ok) {
    extracted_entries_.insert(entry);
    extracted_files_.push_back(target);
    if (LoggingEnabled) LOGGER.Write(L"File extracted:" + target);
    return 0;
  }
  if (canceled) status = DecodeStatus::Canceled;
  const DWORD code = status == DecodeStatus::WriteError && error
                         ? error
                         : ErrorOf(status, reader_->module->error());
  failed_entries_[entry] = code;
  if (in_the_way && LoggingEnabled) {
    LOGGER.Write(L"A file this run did not extract is in the way, it stays as it is:" + target);
  }
  LogFailure(L"Failed to extract file:", record.name, code);
  if (status == DecodeStatus::Canceled) return code;
  if (status == DecodeStatus::WriteError) {
    ReportErrorMessage(
        FormatResString(IDS_WRITE_FAILED, target.c_str(), SystemErrorText(code).c_str()));
  } else {
    ReportErrorMessage(
        FormatResString(IDS_READ_FAILED, module_path_.c_str(), SystemErrorText(code).c_str()));
  }
  return code;
}

namespace {
// The unpacking shows in the extraction dialog, whose Cancel also stops it.
class UnpackProgress : public IUnpackProgress {
 public:
  explicit UnpackProgress(IExtractionProgress* progress) : progress_(progress) {}
  void Begin() override {}
  void SetTotal(uint32_t files) override {
    if (progress_) progress_->BeginUnpacking(files);
  }
  void FileDone(const std::wstring& jar_path, bool made) override {
    // Read once the worker has ended.
    if (made) made_.push_back(jar_path);
    if (!progress_) return;
    progress_->BeginFile(jar_path);
    progress_->AddBytes(1);
  }
  bool IsCanceled() override { return progress_ && progress_->IsCanceled(); }
  const std::vector<std::wstring>& made() const { return made_; }

 private:
  IExtractionProgress* progress_;
  std::vector<std::wstring> made_;
};
}  // namespace

void EmbeddedArchive::UnpackJavaArchives(const std::vector<std::wstring>& files,
                                         IExtractionProgress* progress) {
  // Only an extraction that brought packed JARs starts the scan: without one
  // there is nothing to unpack, and no reason to ask for a Java runtime.
  std::vector<std::wstring> jars;
  for (const std::wstring& file : files) {
    if (IsPackedJarName(FileNameOf(file))) jars.push_back(JarPathFor(file));
  }
  if (jars.empty()) return;
  UnpackProgress unpack_progress(progress);
  UniqueKernelHandle worker = StartUnpacking({destination_}, nullptr, &unpack_progress);
  if (!worker) THROW_HRESULT(HRESULT_FROM_WIN32(GetLastError()), L"Java unpacking worker");
  WaitForSingleObject(worker.get(), INFINITE);
  DWORD result = kUnpackFailed;
  GetExitCodeThread(worker.get(), &result);
  if (result != kUnpackSucceeded && LoggingEnabled) {
    LOGGER.Write(FormatW(L"Java archives not unpacked. Error:%lu", result));
  }
  // The JARs stand where the packed files stood and go away with them, but
  // only those this run made: one that was there before stays.
  const std::vector<std::wstring>& made = unpack_progress.made();
  for (const std::wstring& jar : jars) {
    if (std::find(made.begin(), made.end(), jar) != made.end()) extracted_files_.push_back(jar);
  }
}
