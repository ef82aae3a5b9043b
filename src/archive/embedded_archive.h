// The files the executable carries after its image: setup files of
// prerequisites installed from the package and helper programs of command
// searches. Entries are extracted on demand into the destination folder;
// whatever was extracted is removed again when the archive is destroyed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class EmbeddedArchive {
 public:
  EmbeddedArchive() = default;
  ~EmbeddedArchive();
  EmbeddedArchive(const EmbeddedArchive&) = delete;
  EmbeddedArchive& operator=(const EmbeddedArchive&) = delete;

  // The executable that carries the archive; its folder (with a trailing
  // backslash) is the home folder.
  void SetHome(const std::wstring& module_path);
  // The extraction folder, ending with a backslash.
  void SetDestination(const std::wstring& folder);

  const std::wstring& home_folder() const { return home_folder_; }
  const std::wstring& destination() const { return destination_; }

  // The path the named file has, or will have, in the extraction folder, and
  // its entry number; the number is negative when the archive lacks the file.
  int32_t Lookup(const std::wstring& file_name, std::wstring* path) const;
  // Extracts the entries not yet extracted. Returns 0 or a Windows error.
  uint32_t Extract(const std::vector<int32_t>& entries, bool silent);

 private:
  std::wstring module_path_;
  std::wstring home_folder_;
  std::wstring destination_;
};
