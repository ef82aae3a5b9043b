#include "install/msix_installer.h"

#include "install/msix_rules.h"
#include "install/windows_runtime.h"
#include "platform/core/logger.h"
#include "util/path_text.h"
#include "util/unique_handle.h"

namespace {
using namespace winrt_abi;

// Sets an event when the deployment ends; the package manager may call it on
// any thread, and keeps its own reference for as long as it needs one.
class CompletionEvent final : public IDeploymentCompletedHandler {
 public:
  CompletionEvent() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  HANDLE handle() const { return done_.get(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == kIidDeploymentCompletedHandler || iid == kIidAgileObject) {
      *out = static_cast<IDeploymentCompletedHandler*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IDeploymentOperation*, AsyncStatus) override {
    SetEvent(done_.get());
    return S_OK;
  }

 private:
  ~CompletionEvent() = default;
  UniqueKernelHandle done_;
  volatile LONG references_ = 1;
};

HRESULT Deploy(const std::wstring& path, MsixInstaller* result) {
  RuntimeRef<IPackageManager> manager;
  HRESULT hr = ActivatePackageManager(&manager);
  if (FAILED(hr)) return hr;
  RuntimeRef<IUriRuntimeClass> uri;
  // The package manager takes a URI, not a path: a bare "C:\..." is no
  // file: address, and a "#" or "%" in a folder name would be read as URI syntax.
  hr = CreateRuntimeUri(FileUriOfPath(FromLongPath(path)), &uri);
  if (FAILED(hr)) return hr;
  RuntimeRef<IDeploymentOperation> operation;
  hr = manager->AddPackageAsync(uri.get(), nullptr, 0, operation.put());
  if (FAILED(hr)) return hr;

  CompletionEvent* completion = new CompletionEvent();
  if (!completion->handle()) {
    completion->Release();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  hr = operation->put_Completed(completion);
  if (SUCCEEDED(hr)) WaitForSingleObject(completion->handle(), INFINITE);
  completion->Release();
  if (FAILED(hr)) return hr;

  RuntimeRef<IAsyncInfo> info;
  AsyncStatus status = kAsyncError;
  if (FAILED(operation->QueryInterface(kIidAsyncInfo, reinterpret_cast<void**>(info.put()))) ||
      FAILED(info->get_Status(&status))) {
    status = kAsyncError;
  }
  result->status = status;
  // A failed deployment still has a result that says why.
  RuntimeRef<IDeploymentResult> deployment;
  if (SUCCEEDED(operation->GetResults(deployment.put())) && deployment.get()) {
    HSTRING text = nullptr;
    if (SUCCEEDED(deployment->get_ErrorText(&text))) result->error_text = TakeRuntimeText(text);
    deployment->get_ActivityId(&result->activity_id);
    deployment->get_ExtendedErrorCode(&result->extended_error_code);
    RuntimeRef<IDeploymentResult2> registration;
    boolean registered = 0;
    if (SUCCEEDED(deployment->QueryInterface(kIidDeploymentResult2,
                                             reinterpret_cast<void**>(registration.put()))) &&
        SUCCEEDED(registration->get_IsRegistered(&registered))) {
      result->is_registered = registered != 0;
    }
  }
  return DeploymentSucceeded(result->status) ? S_OK : E_FAIL;
}
}  // namespace

uint32_t InstallStorePackage(const std::wstring& path, MsixInstaller* result) {
  MsixInstaller local;
  MsixInstaller* out = result ? result : &local;
  RuntimeApartment apartment;
  HRESULT hr = apartment.result();
  if (SUCCEEDED(hr)) hr = Deploy(path, out);
  if (FAILED(hr) && LoggingEnabled) {
    LOGGER.Write(StorePackageFailureLine(static_cast<uint32_t>(hr),
                                         static_cast<uint32_t>(out->extended_error_code),
                                         out->error_text));
  }
  return SUCCEEDED(hr) ? 0 : static_cast<uint32_t>(hr);
}
