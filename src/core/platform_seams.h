// What a test cannot have for real: restarting Windows, the MSIX package
// manager, running as LocalSystem. The product links the real ones; the
// test build of the executable links stand-ins that leave a trace instead.
#pragma once
#include "install/setup_launcher.h"

struct PlatformSeams {
  IMachineRestarter* restarter = nullptr;
  IStorePackageInstaller* store_installer = nullptr;
  bool (*is_local_system)() = nullptr;
  // Called after each piece of data extracted under the extraction dialog;
  // only the test build slows down there, so that a test can watch and
  // cancel the dialog. None in the product.
  void (*pace_extraction)() = nullptr;
};

// The seams of this executable.
const PlatformSeams& GetPlatformSeams();
