#include "install/windows_runtime.h"

namespace winrt_abi {
const IID kIidAsyncInfo = {0x00000036, 0x0000, 0x0000,
                           {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidUriRuntimeClassFactory = {0x44A9796F, 0x723E, 0x4FDF,
                                        {0xA2, 0x18, 0x03, 0x3E, 0x75, 0xB0, 0xC0, 0x84}};
const IID kIidDeploymentResult2 = {0xFC0E715C, 0x5A01, 0x4BD7,
                                   {0xBC, 0xF1, 0x38, 0x1C, 0x8C, 0x82, 0xE0, 0x4A}};
const IID kIidDeploymentCompletedHandler = {0x2ABB4ED1, 0x2F62, 0x5ED0,
                                            {0x8D, 0x86, 0x75, 0x5B, 0xEE, 0xBB, 0xB4, 0x30}};
const IID kIidAgileObject = {0x94EA2B94, 0xE9CC, 0x49E0,
                             {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};
}  // namespace winrt_abi

namespace {
const IID kIidPackageManager = {0x9A7D4B65, 0x5E8F, 0x4FC7,
                                {0xA2, 0xE5, 0x7F, 0x69, 0x25, 0xCB, 0x8B, 0x53}};
constexpr int kMultithreaded = 1;  // RO_INIT_MULTITHREADED

HRESULT NoRuntime() {
  return REGDB_E_CLASSNOTREG;
}
}  // namespace

RuntimeApartment::RuntimeApartment() {
  const CombaseApi* api = CombaseDll();
  result_ = api ? api->RoInitialize(kMultithreaded) : NoRuntime();
}

RuntimeApartment::~RuntimeApartment() {
  if (SUCCEEDED(result_)) CombaseDll()->RoUninitialize();
}

RuntimeString::RuntimeString(const std::wstring& text) {
  const CombaseApi* api = CombaseDll();
  void* made = nullptr;
  result_ = api ? api->WindowsCreateString(text.c_str(), static_cast<UINT32>(text.size()), &made)
                : NoRuntime();
  value_ = static_cast<HSTRING>(made);
}

RuntimeString::~RuntimeString() {
  if (value_) CombaseDll()->WindowsDeleteString(value_);
}

std::wstring TakeRuntimeText(HSTRING text) {
  if (!text) return std::wstring();
  const CombaseApi* api = CombaseDll();
  UINT32 length = 0;
  const wchar_t* raw = api->WindowsGetStringRawBuffer(text, &length);
  std::wstring result(raw ? raw : L"", raw ? length : 0);
  api->WindowsDeleteString(text);
  return result;
}

HRESULT ActivatePackageManager(RuntimeRef<winrt_abi::IPackageManager>* manager) {
  const CombaseApi* api = CombaseDll();
  if (!api) return NoRuntime();
  RuntimeString class_id(L"Windows.Management.Deployment.PackageManager");
  if (FAILED(class_id.result())) return class_id.result();
  RuntimeRef<IInspectable> instance;
  HRESULT hr = api->RoActivateInstance(class_id.get(), reinterpret_cast<void**>(instance.put()));
  if (FAILED(hr)) return hr;
  if (!instance.get()) return E_NOINTERFACE;
  return instance->QueryInterface(kIidPackageManager, reinterpret_cast<void**>(manager->put()));
}

HRESULT CreateRuntimeUri(const std::wstring& text, RuntimeRef<winrt_abi::IUriRuntimeClass>* uri) {
  const CombaseApi* api = CombaseDll();
  if (!api) return NoRuntime();
  RuntimeString class_id(L"Windows.Foundation.Uri");
  RuntimeString value(text);
  if (FAILED(class_id.result())) return class_id.result();
  if (FAILED(value.result())) return value.result();
  RuntimeRef<winrt_abi::IUriRuntimeClassFactory> factory;
  HRESULT hr = api->RoGetActivationFactory(class_id.get(), winrt_abi::kIidUriRuntimeClassFactory,
                                           reinterpret_cast<void**>(factory.put()));
  if (FAILED(hr)) return hr;
  hr = factory->CreateUri(value.get(), uri->put());
  return SUCCEEDED(hr) && !uri->get() ? E_POINTER : hr;
}
