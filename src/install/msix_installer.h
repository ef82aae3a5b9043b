// Installs an MSIX/AppX package with the Windows package manager, the way the
// launcher hands store packages over instead of starting them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// What one deployment ended with. The launcher only tells success from
// failure; the error text and code go to the log.
struct MsixInstaller {
  int32_t status = 0;  // DeploymentStatus
  GUID activity_id = {};
  std::wstring error_text;
  HRESULT extended_error_code = S_OK;
  bool is_registered = false;
};

// Adds the package at path (a long-path prefix is taken off) for the current
// user, no dependency packages, no options, and waits for the deployment
// without time limit. Joins the multithreaded apartment on the calling
// thread, so it runs on a worker of its own. 0 when the deployment completed;
// otherwise the failing HRESULT, or E_FAIL for a deployment that ended in
// error or was cancelled. *result, when given, receives what was read.
uint32_t InstallStorePackage(const std::wstring& path, MsixInstaller* result = nullptr);
