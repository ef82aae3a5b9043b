// Exceptions for broken invariants only (an index out of range, an invalid
// argument, memory exhausted) and for processor faults that a thread turned
// into C++ exceptions (exception_handling.h). Ordinary failures are returned
// as codes. Nothing in the run catches these: they end in the error report.
#pragma once
#include <cstdint>
#include <string>

#include "core/stable_numbers.h"
#include "platform/core/exception_text.h"

class ExceptionPresenter;

// The root of the family; the order of its operations is part of it.
class IException {
 public:
  // Throws a copy as its own most derived class.
  virtual void Throw() const = 0;
  // A new heap copy, owned by the caller. With with_stack_trace the copy's
  // message gains "\r\n" and the stack trace of the fault or throw being
  // handled on this thread, unless the message already carries a trace.
  virtual IException* Clone(bool with_stack_trace) const = 0;
  // The ExceptionKind number.
  virtual int32_t GetType() const = 0;
  virtual ~IException() = default;
  virtual std::wstring GetTypeName() const = 0;
  // The process-wide presenter.
  virtual const ExceptionPresenter& GetPresenter() const;
};

class Exception : public IException {
 public:
  static constexpr uint32_t kCode = 0xE0010064u;

  Exception(std::wstring source_file, int32_t source_line, std::wstring message,
            uint32_t hresult = kErrorFail)
      : message_(std::move(message)),
        source_file_(std::move(source_file)),
        source_line_(source_line),
        hresult_(hresult) {}

  void Throw() const override { throw *this; }
  IException* Clone(bool with_stack_trace) const override;
  int32_t GetType() const override { return kExceptionGeneric; }
  std::wstring GetTypeName() const override { return ExceptionKindName(GetType()); }

  const std::wstring& message() const { return message_; }
  uint32_t code() const { return code_; }
  const std::wstring& source_file() const { return source_file_; }
  int32_t source_line() const { return source_line_; }
  // The HRESULT that names the broken invariant (E_BOUNDS, E_INVALIDARG, E_FAIL).
  uint32_t hresult() const { return hresult_; }

 protected:
  // The copy's message with the trace of the exception being handled.
  void AddStackTrace();

 private:
  std::wstring message_;
  uint32_t code_ = kCode;
  std::wstring source_file_;
  int32_t source_line_;
  uint32_t hresult_;
};

// A processor or system fault, translated on a thread that asked for it.
class SehException : public Exception {
 public:
  SehException(std::wstring source_file, int32_t source_line, int32_t sub_kind,
               std::wstring message)
      : Exception(std::move(source_file), source_line, std::move(message)),
        sub_kind_(sub_kind) {}

  void Throw() const override { throw *this; }
  IException* Clone(bool with_stack_trace) const override;
  int32_t GetType() const override { return kExceptionSeh; }
  std::wstring GetTypeName() const override { return SehKindName(sub_kind_); }

  int32_t sub_kind() const { return sub_kind_; }

 private:
  int32_t sub_kind_;
};

#define CHAINER_WIDEN2(x) L##x
#define CHAINER_WIDEN(x) CHAINER_WIDEN2(x)
// Throws an Exception for the HRESULT with the current source location.
#define THROW_HRESULT(hr, message) \
  throw Exception(CHAINER_WIDEN(__FILE__), __LINE__, (message), (hr))
