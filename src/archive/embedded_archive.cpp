#include "archive/embedded_archive.h"

#include "util/path_text.h"

// The reader of the carried archive is not there yet: an executable
// without one simply has no entries, which every caller already handles.
EmbeddedArchive::~EmbeddedArchive() = default;

void EmbeddedArchive::SetHome(const std::wstring& module_path) {
  module_path_ = module_path;
  home_folder_ = WithTrailingBackslash(FolderOf(module_path));
}

void EmbeddedArchive::SetDestination(const std::wstring& folder) {
  destination_ = WithTrailingBackslash(folder);
}

int32_t EmbeddedArchive::Lookup(const std::wstring& file_name, std::wstring* path) const {
  *path = destination_ + file_name;
  return -1;
}

uint32_t EmbeddedArchive::Extract(const std::vector<int32_t>& entries, bool) {
  return entries.empty() ? 0 : 2;  // ERROR_FILE_NOT_FOUND: nothing is carried yet
}
