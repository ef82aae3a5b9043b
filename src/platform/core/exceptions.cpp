#include "platform/core/exceptions.h"

#include <windows.h>

#include "platform/core/exception_handling.h"
#include "platform/core/exception_presenter.h"
#include "platform/core/stack_trace.h"

const ExceptionPresenter& IException::GetPresenter() const {
  static const ExceptionPresenter presenter;
  return presenter;
}

void Exception::AddStackTrace() {
  if (message_.find(StackTraceHeader()) != std::wstring::npos) return;
  // The fault being handled on this thread, else the point of the call.
  CONTEXT here;
  const CONTEXT* context = CurrentFaultContext();
  if (!context) {
    RtlCaptureContext(&here);
    context = &here;
  }
  message_ += L"\r\n";
  CaptureStackTrace(&message_, context, kStackTraceFrames);
}

IException* Exception::Clone(bool with_stack_trace) const {
  auto* copy = new Exception(*this);
  if (with_stack_trace) copy->AddStackTrace();
  return copy;
}

IException* SehException::Clone(bool with_stack_trace) const {
  auto* copy = new SehException(*this);
  if (with_stack_trace) copy->AddStackTrace();
  return copy;
}
