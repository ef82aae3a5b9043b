// The few Windows Runtime interfaces the package manager is driven through,
// declared by hand: the program builds against headers older than the
// Windows Runtime and must still load on Windows XP. Only the methods called
// are named; the slots before them are kept as placeholders, because a
// vtable is its declaration order. The IIDs are those of the Windows SDK.
#pragma once
#include <windows.h>
#include <hstring.h>
#include <inspectable.h>

#include <cstdint>

namespace winrt_abi {

// A slot that is never called; its position is what counts.
#define WINRT_ABI_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE unused_##n() = 0

// Windows.Foundation.AsyncStatus
enum AsyncStatus : int32_t { kAsyncStarted = 0, kAsyncCompleted = 1, kAsyncCanceled = 2,
                             kAsyncError = 3 };

// {00000036-0000-0000-C000-000000000046}: what every asynchronous operation is.
struct IAsyncInfo : IInspectable {
  WINRT_ABI_UNUSED_SLOT(get_Id);
  virtual HRESULT STDMETHODCALLTYPE get_Status(AsyncStatus* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* code) = 0;
  WINRT_ABI_UNUSED_SLOT(Cancel);
  WINRT_ABI_UNUSED_SLOT(Close);
};

// {9E365E57-48B2-4160-956F-C7385120BBFC} Windows.Foundation.Uri, only passed along.
struct IUriRuntimeClass : IInspectable {};

// {44A9796F-723E-4FDF-A218-033E75B0C084} the factory of Windows.Foundation.Uri.
struct IUriRuntimeClassFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateUri(HSTRING uri, IUriRuntimeClass** instance) = 0;
};

// {2563B9AE-B77D-4C1F-8A7B-20E6AD515EF3}
struct IDeploymentResult : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_ErrorText(HSTRING* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActivityId(GUID* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExtendedErrorCode(HRESULT* code) = 0;
};

// {FC0E715C-5A01-4BD7-BCF1-381C8C82E04A} (Windows 10 1809 and later)
struct IDeploymentResult2 : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsRegistered(boolean* registered) = 0;
};

struct IDeploymentOperation;

// {2ABB4ED1-2F62-5ED0-8D86-755BEEBBB430}
// AsyncOperationWithProgressCompletedHandler<DeploymentResult, DeploymentProgress>
struct IDeploymentCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IDeploymentOperation* operation,
                                           AsyncStatus status) = 0;
};

// IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>
struct IDeploymentOperation : IInspectable {
  WINRT_ABI_UNUSED_SLOT(put_Progress);
  WINRT_ABI_UNUSED_SLOT(get_Progress);
  virtual HRESULT STDMETHODCALLTYPE put_Completed(IDeploymentCompletedHandler* handler) = 0;
  WINRT_ABI_UNUSED_SLOT(get_Completed);
  virtual HRESULT STDMETHODCALLTYPE GetResults(IDeploymentResult** result) = 0;
};

// Windows.ApplicationModel.PackageVersion
struct PackageVersion {
  uint16_t major, minor, build, revision;
};

// {1ADB665E-37C7-4790-9980-DD7AE74E8BB2}
struct IPackageId : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Version(PackageVersion* version) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Architecture(int32_t* architecture) = 0;
  WINRT_ABI_UNUSED_SLOT(get_ResourceId);
  virtual HRESULT STDMETHODCALLTYPE get_Publisher(HSTRING* publisher) = 0;
};

// {163C792F-BD75-413C-BF23-B1FE7B95D825}
struct IPackage : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(IPackageId** id) = 0;
};

// IIterator<Package>
struct IPackageIterator : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Current(IPackage** current) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* has_current) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext(boolean* has_current) = 0;
};

// IIterable<Package>
struct IPackageIterable : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE First(IPackageIterator** first) = 0;
};

// {9A7D4B65-5E8F-4FC7-A2E5-7F6925CB8B53} Windows.Management.Deployment.IPackageManager
struct IPackageManager : IInspectable {
  // dependencies: an IIterable<Uri>, or null for none; options: DeploymentOptions flags.
  virtual HRESULT STDMETHODCALLTYPE AddPackageAsync(IUriRuntimeClass* package_uri,
                                                    IInspectable* dependencies, uint32_t options,
                                                    IDeploymentOperation** operation) = 0;
  WINRT_ABI_UNUSED_SLOT(UpdatePackageAsync);
  WINRT_ABI_UNUSED_SLOT(RemovePackageAsync);
  WINRT_ABI_UNUSED_SLOT(StagePackageAsync);
  WINRT_ABI_UNUSED_SLOT(RegisterPackageAsync);
  WINRT_ABI_UNUSED_SLOT(FindPackages);
  // An empty user security identifier means the current user.
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HSTRING user_sid,
                                                                 IPackageIterable** packages) = 0;
};

#undef WINRT_ABI_UNUSED_SLOT

extern const IID kIidAsyncInfo;
extern const IID kIidUriRuntimeClassFactory;
extern const IID kIidDeploymentResult2;
extern const IID kIidDeploymentCompletedHandler;
extern const IID kIidAgileObject;

}  // namespace winrt_abi
