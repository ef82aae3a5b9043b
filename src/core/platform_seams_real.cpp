// The real platform: these calls restart the machine and install packages.
#include "core/platform_seams.h"

#include "util/temp_folder.h"

namespace {
// The Windows package manager arrives with store-package support; until then
// every store package fails to install, as on a Windows without one.
class NoStorePackageManager : public IStorePackageInstaller {
 public:
  uint32_t InstallStorePackage(const std::wstring&) override { return 1; }
};
}  // namespace

const PlatformSeams& GetPlatformSeams() {
  static NoStorePackageManager store;
  static const PlatformSeams seams{&WindowsRestarter(), &store, &IsLocalSystem};
  return seams;
}
