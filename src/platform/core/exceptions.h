// Exceptions for broken invariants only (an index out of range, an invalid
// argument, memory exhausted). Ordinary failures are returned as codes.
#pragma once
#include <cstdint>
#include <string>

#include "core/stable_numbers.h"

class Exception {
 public:
  static constexpr uint32_t kCode = 0xE0010064u;

  Exception(const wchar_t* source_file, int32_t source_line, std::wstring message, uint32_t hresult)
      : message_(std::move(message)),
        source_file_(source_file),
        source_line_(source_line),
        hresult_(hresult) {}
  virtual ~Exception() = default;

  const std::wstring& message() const { return message_; }
  uint32_t code() const { return kCode; }
  const std::wstring& source_file() const { return source_file_; }
  int32_t source_line() const { return source_line_; }
  // The HRESULT that names the broken invariant (E_BOUNDS, E_INVALIDARG, E_FAIL).
  uint32_t hresult() const { return hresult_; }

 private:
  std::wstring message_;
  std::wstring source_file_;
  int32_t source_line_;
  uint32_t hresult_;
};

#define CHAINER_WIDEN2(x) L##x
#define CHAINER_WIDEN(x) CHAINER_WIDEN2(x)
// Throws an Exception for the HRESULT with the current source location.
#define THROW_HRESULT(hr, message) \
  throw Exception(CHAINER_WIDEN(__FILE__), __LINE__, (message), (hr))
