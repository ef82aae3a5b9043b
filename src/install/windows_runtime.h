// Owners for the Windows Runtime pieces the package manager needs: the
// multithreaded apartment of a worker thread, runtime strings and interface
// references, and the activation of the package manager itself. combase.dll
// is loaded at run time (Windows 8 and later); without it every step answers
// REGDB_E_CLASSNOTREG, as for a class that is not there.
#pragma once
#include <string>

#include "install/winrt_abi.h"
#include "util/system_library.h"

// Joins the multithreaded apartment for the life of the object.
class RuntimeApartment {
 public:
  RuntimeApartment();
  ~RuntimeApartment();
  RuntimeApartment(const RuntimeApartment&) = delete;
  RuntimeApartment& operator=(const RuntimeApartment&) = delete;
  // S_OK or S_FALSE once joined; the failure otherwise (no runtime: REGDB_E_CLASSNOTREG).
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// One reference to an interface, released on destruction.
template <typename T>
class RuntimeRef {
 public:
  RuntimeRef() = default;
  ~RuntimeRef() { reset(); }
  RuntimeRef(const RuntimeRef&) = delete;
  RuntimeRef& operator=(const RuntimeRef&) = delete;
  T* get() const { return value_; }
  T* operator->() const { return value_; }
  T** put() {
    reset();
    return &value_;
  }
  void reset() {
    if (value_) value_->Release();
    value_ = nullptr;
  }

 private:
  T* value_ = nullptr;
};

// A runtime string made from text; deleted on destruction.
class RuntimeString {
 public:
  explicit RuntimeString(const std::wstring& text);
  ~RuntimeString();
  RuntimeString(const RuntimeString&) = delete;
  RuntimeString& operator=(const RuntimeString&) = delete;
  HSTRING get() const { return value_; }
  HRESULT result() const { return result_; }

 private:
  HSTRING value_ = nullptr;
  HRESULT result_;
};

// The text of a string a runtime call returned; the string is deleted.
std::wstring TakeRuntimeText(HSTRING text);

// Activates Windows.Management.Deployment.PackageManager.
HRESULT ActivatePackageManager(RuntimeRef<winrt_abi::IPackageManager>* manager);
// A Windows.Foundation.Uri of the text (a path or an address).
HRESULT CreateRuntimeUri(const std::wstring& text, RuntimeRef<winrt_abi::IUriRuntimeClass>* uri);
