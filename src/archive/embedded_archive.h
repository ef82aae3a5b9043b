// The files the executable carries after its image: setup files of
// prerequisites installed from the package and helper programs of command
// searches. Entries are extracted on demand into the destination folder;
// whatever was extracted is removed again when the archive is destroyed. A
// file already at an entry's path is never replaced: that entry fails.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/bundle_index.h"
#include "archive/extraction_progress.h"
#include "util/critical_section.h"

class EmbeddedArchive {
 public:
  EmbeddedArchive();
  // Deletes every file it extracted and removes the folders it created.
  ~EmbeddedArchive();
  // The same removal ahead of the destructor (a crashing run); what it
  // removed is forgotten, so the destructor does not try again.
  void RemoveExtracted();
  EmbeddedArchive(const EmbeddedArchive&) = delete;
  EmbeddedArchive& operator=(const EmbeddedArchive&) = delete;

  // The executable that carries the archive; its folder (with a trailing
  // backslash) is the home folder. The bundle index is read on first use.
  void SetHome(const std::wstring& module_path);
  // The extraction folder, ending with a backslash.
  void SetDestination(const std::wstring& folder);

  const std::wstring& home_folder() const { return home_folder_; }
  const std::wstring& destination() const { return destination_; }

  // The path the named file has, or will have, in the extraction folder, and
  // its entry number; the number is negative when the archive lacks the file.
  int32_t Lookup(const std::wstring& file_name, std::wstring* path);
  // Extracts the entries not yet extracted by this object, setup files first,
  // then search helpers. Checks the free space first and asks for more with
  // AskForDiskSpace. Returns 0 or the Windows error of the first failure
  // (ERROR_DISK_FULL, ERROR_CRC, ERROR_INVALID_DATA, ERROR_CANCELLED,
  // ERROR_ALREADY_EXISTS when a file this object did not write is in the
  // way, ...); a failed entry leaves no file behind.
  uint32_t Extract(const std::vector<int32_t>& entries, bool silent,
                   IExtractionProgress* progress = nullptr);

  // Paths of what Extract wrote, in order; they go away with the object.
  std::vector<std::wstring> extracted_files() const;
  // 0 when this object extracted the entry; otherwise why not: the Windows
  // error of its failed extraction, ERROR_FILE_NOT_FOUND when never tried.
  uint32_t ExtractionResult(int32_t entry);
  // ERROR_INVALID_DATA (or the read error) when the executable carries a
  // bundle that cannot be read, so Lookup cannot tell what it holds; else 0.
  uint32_t ReadError();

 private:
  struct Reader;
  bool EnsureIndex();
  uint32_t ExtractGroup(const std::vector<int32_t>& entries, IExtractionProgress* progress);
  uint32_t ExtractEntry(int32_t entry, IExtractionProgress* progress);
  uint32_t PrepareDestination();
  // Unpacks the packed Java archives (.jar.pack) below the extraction folder
  // when files, the ones just extracted, include one; waits for it.
  void UnpackJavaArchives(const std::vector<std::wstring>& files, IExtractionProgress* progress);

  std::wstring module_path_;
  std::wstring home_folder_;
  std::wstring destination_;
  CriticalSection lock_;
  bool index_read_ = false;
  BundleIndex index_;
  std::unique_ptr<Reader> reader_;
  std::set<int32_t> extracted_entries_;
  std::map<int32_t, uint32_t> failed_entries_;
  uint32_t read_error_ = 0;
  std::vector<std::wstring> extracted_files_;
  std::vector<std::wstring> created_folders_;
};
