#include "detect/msix_finder.h"

#include <windows.h>

#include "install/msix_rules.h"
#include "install/windows_runtime.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
using namespace winrt_abi;

struct FindJob {
  std::wstring name;
  std::wstring publisher;
  std::wstring architecture;
  std::wstring version;
};

HRESULT ReadIdentity(IPackage* package, StorePackageIdentity* identity) {
  RuntimeRef<IPackageId> id;
  HRESULT hr = package->get_Id(id.put());
  if (FAILED(hr)) return hr;
  HSTRING text = nullptr;
  if (FAILED(hr = id->get_Name(&text))) return hr;
  identity->name = TakeRuntimeText(text);
  text = nullptr;
  if (FAILED(hr = id->get_Publisher(&text))) return hr;
  identity->publisher = TakeRuntimeText(text);
  if (FAILED(hr = id->get_Architecture(&identity->architecture))) return hr;
  PackageVersion version = {};
  if (FAILED(hr = id->get_Version(&version))) return hr;
  identity->version[0] = version.major;
  identity->version[1] = version.minor;
  identity->version[2] = version.build;
  identity->version[3] = version.revision;
  return S_OK;
}

// The packages of the current user, first match wins.
HRESULT FindFirstMatch(FindJob* job) {
  RuntimeApartment apartment;
  if (FAILED(apartment.result())) return apartment.result();
  RuntimeRef<IPackageManager> manager;
  HRESULT hr = ActivatePackageManager(&manager);
  if (FAILED(hr)) return hr;
  RuntimeRef<IPackageIterable> packages;
  if (FAILED(hr = manager->FindPackagesByUserSecurityId(nullptr, packages.put()))) return hr;
  RuntimeRef<IPackageIterator> it;
  if (FAILED(hr = packages->First(it.put()))) return hr;
  return FindMatchingPackage(it.get(), job->name, job->publisher, job->architecture,
                             &job->version);
}

DWORD WINAPI RunFindJob(void* parameter) {
  return static_cast<DWORD>(FindFirstMatch(static_cast<FindJob*>(parameter)));
}

// The package manager must not be asked on the caller's thread, which may
// belong to another apartment: a worker joins the multithreaded one.
class MsixFinder : public IMsixFinder {
 public:
  std::wstring Find(const std::wstring& name, const std::wstring& publisher,
                    const std::wstring& architecture) override {
    FindJob job{name, publisher, architecture, std::wstring()};
    UniqueKernelHandle worker(CreateThread(nullptr, 0, RunFindJob, &job, 0, nullptr));
    if (!worker) THROW_HRESULT(HRESULT_FROM_WIN32(GetLastError()), L"store package search worker");
    WaitForSingleObject(worker.get(), INFINITE);
    DWORD hr = 0;
    GetExitCodeThread(worker.get(), &hr);
    // Without a package manager (Windows 7, Wine) the package is simply not
    // there: the search is not found and the run goes on.
    if (FAILED(static_cast<HRESULT>(hr)) && LoggingEnabled) {
      LOGGER.Write(FormatW(L"Store package search failed:%s Error:0x%08lX", name.c_str(),
                           static_cast<unsigned long>(hr)));
    }
    return job.version;
  }
};
}  // namespace

HRESULT FindMatchingPackage(IPackageIterator* packages, const std::wstring& name,
                            const std::wstring& publisher, const std::wstring& architecture,
                            std::wstring* version) {
  boolean has_current = 0;
  HRESULT hr = packages->get_HasCurrent(&has_current);
  if (FAILED(hr)) return hr;
  while (has_current) {
    RuntimeRef<IPackage> package;
    StorePackageIdentity identity;
    hr = packages->get_Current(package.put());
    if (SUCCEEDED(hr)) hr = package.get() ? ReadIdentity(package.get(), &identity) : E_POINTER;
    if (FAILED(hr)) {
      // One package the system cannot describe (a damaged or half-removed
      // one) says nothing about the others.
      if (LoggingEnabled) {
        LOGGER.Write(FormatW(L"Store package skipped, its identity cannot be read. Error:0x%08lX",
                             static_cast<unsigned long>(hr)));
      }
    } else if (PackageMatches(identity, name, publisher, architecture)) {
      *version = PackageVersionText(identity);
      return S_OK;
    }
    if (FAILED(hr = packages->MoveNext(&has_current))) return hr;
  }
  return S_OK;
}

IMsixFinder& GetSystemMsixFinder() {
  static MsixFinder finder;
  return finder;
}
