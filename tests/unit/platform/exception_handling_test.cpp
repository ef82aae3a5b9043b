// Faults raised on purpose on the installer launcher's worker thread come
// back as SehException with the exact texts; stack traces and Clone.
#include <windows.h>

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>

#include "core/stable_numbers.h"
#include "install/setup_launcher.h"
#include "platform/core/exception_handling.h"
#include "platform/core/exceptions.h"
#include "platform/core/stack_trace.h"
#include "ui/ui_state.h"

namespace {
// Under qemu-i386 (the tests' emulated 32-bit route) faults arrive as
// illegal instructions or other codes.
bool Emulated() { return GetEnvironmentVariableW(L"CHAINER_EMULATED", nullptr, 0) != 0; }

volatile int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile uintptr_t g_bad = 0x10;

__attribute__((noinline)) void ReadNull() { g_null[0] = g_null[0] + 0; }
__attribute__((noinline)) void WriteNull() { *g_null = 1; }
__attribute__((noinline)) void ReadBad() { (void)*reinterpret_cast<volatile int*>(g_bad); }
__attribute__((noinline)) void WriteBad() { *reinterpret_cast<volatile int*>(g_bad) = 1; }
__attribute__((noinline)) void DivideByZero() { g_zero = 7 / g_zero; }
__attribute__((noinline)) void RaiseUnknown() { RaiseException(0xE0000042u, 0, 0, nullptr); }
__attribute__((noinline)) void ExecuteData() {
  // "ret" on a page that is not executable.
  static unsigned char* page = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  page[0] = 0xC3;
  reinterpret_cast<void (*)()>(page)();
}

struct Caught {
  bool seh = false;
  int32_t sub_kind = -1;
  std::wstring type_name, message, source_file;
};

// Runs the fault as the store package installation: on the launcher's own
// worker thread, with the translator it installs.
struct FaultingStore : IStorePackageInstaller {
  explicit FaultingStore(void (*fault)()) : fault(fault) {}
  uint32_t InstallStorePackage(const std::wstring&) override {
    try {
      fault();
    } catch (const SehException& e) {
      caught = {true, e.sub_kind(), e.GetTypeName(), e.message(), e.source_file()};
    }
    return 0;
  }
  void (*fault)();
  Caught caught;
};

Caught FaultOnLauncherWorker(void (*fault)()) {
  FaultingStore store(fault);
  SetupLauncher launcher(nullptr, nullptr, &store, nullptr);
  launcher.AddLaunchEntry(L"C:\\p\\App.msix", L"", L"App", 0, 0, L"", 0);
  launcher.LaunchSetup(0);
  return store.caught;
}

// The first line, with the address replaced by "*": it differs per build.
std::wstring FirstLineWithoutAddress(const std::wstring& message) {
  std::wstring line = message.substr(0, message.find(L"\r\n"));
  const size_t open = line.rfind(L"[0x");
  if (open != std::wstring::npos) line = line.substr(0, open + 3) + L"*]";
  return line;
}

struct FaultCase {
  const char* name;
  void (*fault)();
  int32_t sub_kind;
  const wchar_t* first_line;
};

TEST(StructuredExceptions, FaultsOnTheLauncherWorkerBecomeSehExceptions) {
  const FaultCase cases[] = {
      {"read null", &ReadNull, 1,
       L"[SEH_AV_READ_NULLPTR] ACCESS_VIOLATION (0xc0000005) at address [0x*]"},
      {"write null", &WriteNull, 3,
       L"[SEH_AV_WRITE_NULLPTR] ACCESS_VIOLATION (0xc0000005) at address [0x*]"},
      {"read bad", &ReadBad, 2,
       L"[SEH_AV_READ_BADPTR] ACCESS_VIOLATION (0xc0000005) at address [0x*]"},
      {"write bad", &WriteBad, 4,
       L"[SEH_AV_WRITE_BADPTR] ACCESS_VIOLATION (0xc0000005) at address [0x*]"},
      {"divide", &DivideByZero, 0,
       L"[SEH_GENERIC] INT_DIVIDE_BY_ZERO (0xc0000094) at address [0x*]"},
#ifdef _WIN64
      {"raise", &RaiseUnknown, 0,
       L"[SEH_GENERIC] Unknown SEH Exception (0xe0000042) at address [0x*]"},
#endif
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Caught caught = FaultOnLauncherWorker(c.fault);
    ASSERT_TRUE(caught.seh);
    EXPECT_NE(caught.message.find(StackTraceHeader()), std::wstring::npos);
    // qemu reports every fault of a 32-bit program under another code.
    if (Emulated()) continue;
    EXPECT_EQ(caught.sub_kind, c.sub_kind);
    EXPECT_EQ(caught.type_name, SehKindName(c.sub_kind));
    EXPECT_EQ(FirstLineWithoutAddress(caught.message), c.first_line);
  }
  // The thread goes on after a caught fault: a second one is translated too,
  // its source taken from the faulting frame where the symbols know it.
  const Caught again = FaultOnLauncherWorker(&ReadNull);
  if (!Emulated()) {
    EXPECT_EQ(again.sub_kind, 1);
  }
  EXPECT_EQ(again.source_file, L"exception_handling_test.cpp");
  EXPECT_NE(again.message.find(L"ReadNull() -> exception_handling_test.cpp:"), std::wstring::npos);
}

// x86's unwinder cannot leave RaiseException's system frames, so such a
// fault must end the run through the last-resort path, not hang in a throw
// that ends in std::terminate behind a report nobody sees.
TEST(StructuredExceptionsDeathTest, WhatTheUnwinderCannotWalkEndsTheRunWithItsCode) {
#ifdef _WIN64
  GTEST_SKIP() << "x64 unwinds through system frames: translated above";
#endif
  EXPECT_EXIT(
      {
        InteractiveUi = false;
        FaultOnLauncherWorker(&RaiseUnknown);
      },
      testing::ExitedWithCode(kExitCrashed), "");
}

// The crashing thread coming back into the last-resort path (a fault or an
// escaping exception in the crash cleanup) ends the process at once: it
// used to wait for itself for ever.
void FaultingCleanup(void*) { ReadNull(); }
void ThrowingCleanup(void*) { throw std::runtime_error("cleanup"); }

TEST(StructuredExceptionsDeathTest, ASecondFaultInTheCrashPathEndsTheRun) {
  for (void (*cleanup)(void*) : {&FaultingCleanup, &ThrowingCleanup}) {
    EXPECT_EXIT(
        {
          InteractiveUi = false;
          SetCrashCleanup(cleanup, nullptr);
          std::terminate();
        },
        testing::ExitedWithCode(kExitCrashed), "");
  }
}

TEST(StructuredExceptions, ExecutionPreventionWhereTheSystemEnforcesIt) {
  const Caught caught = FaultOnLauncherWorker(&ExecuteData);
  if (!caught.seh) GTEST_SKIP() << "data pages are executable here";
  if (Emulated()) return;
  EXPECT_EQ(caught.sub_kind, 6);
  EXPECT_EQ(caught.message.rfind(L"[SEH_AV_DEP_BADPTR] ACCESS_VIOLATION (0xc0000005)", 0), 0u);
}

TEST(StackTrace, LimitedWalkEndsWithTheMoreFramesLineAndTheModuleBase) {
  CONTEXT here;
  RtlCaptureContext(&here);
  std::wstring trace;
  CaptureStackTrace(&trace, &here, 1);
  ASSERT_EQ(trace.rfind(StackTraceHeader(), 0), 0u) << trace;
  const std::wstring rest = trace.substr(wcslen(StackTraceHeader()));
  const size_t first_end = rest.find(L"\r\n") + 2;
  EXPECT_EQ(rest.substr(first_end, wcslen(kMoreFramesLine)), kMoreFramesLine) << trace;
  EXPECT_EQ(rest.substr(first_end + wcslen(kMoreFramesLine)),
            ModuleBaseLine(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))));
  std::wstring nothing;
  CaptureStackTrace(&nothing, nullptr, 5);
  EXPECT_TRUE(nothing.empty());
}

TEST(ExceptionFamily, CloneAddsOneTraceAndKeepsTheMostDerivedClass) {
  const Exception plain(L"x.cpp", 7, L"index out of range");
  IException* traced = plain.Clone(true);
  const std::wstring once = dynamic_cast<Exception*>(traced)->message();
  EXPECT_EQ(once.rfind(L"index out of range\r\n" + std::wstring(StackTraceHeader()), 0), 0u);
  IException* again = traced->Clone(true);
  EXPECT_EQ(dynamic_cast<Exception*>(again)->message(), once);
  delete again;
  delete traced;

  const SehException seh(L"y.cpp", 9, 3, L"[SEH_AV_WRITE_NULLPTR] ...");
  IException* copy = seh.Clone(false);
  EXPECT_EQ(copy->GetType(), 7);
  EXPECT_THROW(copy->Throw(), SehException);
  delete copy;
  EXPECT_STREQ(ExceptionKindName(8), L"Exception ???");
}

TEST(ExceptionText, SourceOfTheFirstFrame) {
  std::wstring file = L"unchanged";
  int32_t line = 1;
  EXPECT_FALSE(SourceOfFirstFrame(L"[0x00401000]  -----\r\n", &file, &line));
  EXPECT_EQ(file, L"unchanged");
  EXPECT_TRUE(SourceOfFirstFrame(
      L"\r\n*** x ***\r\n\r\n[0x00401000]  f() -> launcher.cpp:42\r\n[0x1]  g() -> a.cpp:1\r\n",
      &file, &line));
  EXPECT_EQ(file, L"launcher.cpp");
  EXPECT_EQ(line, 42);
}
}  // namespace
