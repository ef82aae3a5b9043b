// The real platform: these calls restart the machine and install packages.
#include "core/platform_seams.h"

#include "install/msix_installer.h"
#include "util/temp_folder.h"

namespace {
// The Windows package manager; where there is none (Windows 7 and older) the
// installation fails and the launcher reports 1627.
class WindowsPackageManager : public IStorePackageInstaller {
 public:
  uint32_t InstallStorePackage(const std::wstring& path) override {
    return ::InstallStorePackage(path);
  }
};
}  // namespace

const PlatformSeams& GetPlatformSeams() {
  static WindowsPackageManager store;
  static const PlatformSeams seams{&WindowsRestarter(), &store, &IsLocalSystem};
  return seams;
}
