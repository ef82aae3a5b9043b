// One search of a prerequisite, dispatched by its type: what it collects and
// whether it counts as found.
#include "detect/searches.h"

#include <windows.h>

#include "core/chainer_config.h"
#include "detect/msix_finder.h"
#include "detect/os_facts.h"
#include "detect/registry_value.h"
#include "detect/searches_internal.h"
#include "detect/searches_platform.h"
#include "detect/version.h"
#include "install/process_launch.h"
#include "util/file_ops.h"
#include "util/folder_properties.h"
#include "util/path_text.h"
#include "util/process_bitness.h"

namespace {
const wchar_t kHiddenWindow[] = L"WND_HIDE";

// The view a registry search opens its key in. The value names of type 12
// are always read from the 64-bit view when asked; the other types only ask
// for it where it exists and read the 32-bit view otherwise.
REGSAM RegistryView(int32_t type, bool wow64, bool windows_64bit) {
  const bool wants_64bit_view = wow64 && (type == kRegistryValueNames || windows_64bit);
  return RegistryViewFlag(wants_64bit_view, kProcessIs64Bit);
}

bool RunHelperProgram(const SearchEntry& search, bool wow64, ChainerConfig& config) {
  const std::wstring helper = FromLongPath(config.GetSearchHelperPath(search));
  if (helper.empty()) return false;
  const std::wstring parameters = ExpandProperties(search.search_cmd_line, wow64);
  uint32_t exit_code = 0;
  if (!ShellExecuteAndWait(helper, parameters, FolderOf(helper),
                           search.ref_content == kHiddenWindow, &exit_code)) {
    return false;
  }
  return exit_code == 0;
}

// "name?architecture?publisher"; the last two may be missing or empty.
void CollectStorePackageVersion(const std::wstring& search_string, IMsixFinder* finder,
                                std::vector<std::wstring>* values) {
  if (!finder) return;
  const size_t first = search_string.find(L'?');
  const std::wstring name = search_string.substr(0, first);
  std::wstring architecture, publisher;
  if (first != std::wstring::npos) {
    const size_t second = search_string.find(L'?', first + 1);
    architecture = search_string.substr(
        first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1);
    if (second != std::wstring::npos) publisher = search_string.substr(second + 1);
  }
  std::wstring version = finder->Find(name, publisher, architecture);
  if (!version.empty()) values->push_back(std::move(version));
}

void CollectSubfolderNames(const std::wstring& folder, std::vector<std::wstring>* values) {
  if (folder.empty()) return;
  FolderEnumerator entries(WithTrailingBackslash(folder) + L"*");
  while (entries.Next()) {
    const std::wstring name = entries.Name();
    if (entries.IsFolder() && name != L"." && name != L"..") values->push_back(name);
  }
}
}  // namespace

SearchPlatform CurrentSearchPlatform() {
  SearchPlatform platform;
  platform.windows_64bit = GetOsFacts().is_64bit;
  platform.windows10_or_later = IsWindows10OrLater();
  platform.msix_finder = &GetSystemMsixFinder();
  return platform;
}

SearchResult RunSearch(const SearchEntry& search, bool wow64, ChainerConfig& config) {
  return RunSearchOn(search, wow64, config, CurrentSearchPlatform());
}

SearchResult RunSearchOn(const SearchEntry& search, bool wow64, ChainerConfig& config,
                         const SearchPlatform& platform) {
  SearchResult result;
  switch (search.type) {
    case kFileVersion:
      CollectFileVersion(search.search_string, wow64, platform.windows10_or_later, &result.values);
      break;
    case kRegistrySubkeys:
    case kRegistryValue:
    case kRegistryValueNames:
      RunRegistrySearch(search, RegistryView(search.type, wow64, platform.windows_64bit),
                        &result.values);
      break;
    case kKeyExists:
    case kKeyMissing:
    case kValueExists:
    case kValueMissing:
    case kValueCompare:
      result.found = RunRegistrySearch(
          search, RegistryView(search.type, wow64, platform.windows_64bit), &result.values);
      return result;
    case kProductVersion:
      CollectProductVersion(search.search_string, &result.values);
      break;
    case kRelatedProducts:
      CollectRelatedProductVersions(search.search_string, &result.values);
      break;
    case kHelperProgram:
      result.found = RunHelperProgram(search, wow64, config);
      return result;
    case kComponent:
      result.found = IsComponentInstalled(search.search_string);
      return result;
    case kStorePackage:
      if (platform.windows10_or_later) {
        CollectStorePackageVersion(search.search_string, platform.msix_finder, &result.values);
      }
      break;
    case kSubfolders:
      CollectSubfolderNames(ExpandProperties(search.search_string, wow64), &result.values);
      break;
    default:
      return result;  // an unknown type collects nothing and is not found
  }
  result.found = VersionInRange(result.values, search.ver_min, search.ver_max);
  return result;
}
