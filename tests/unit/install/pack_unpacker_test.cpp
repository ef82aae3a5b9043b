// Java pack unpacking against a stand-in unpack200.exe that records its
// command line and writes the JAR (build/tools/unpack200_stub.exe).
#include "install/pack_unpacker.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/ui_state.h"
#include "util/module_path.h"
#include "util/path_text.h"

namespace {
const std::wstring kJavaKey = L"Software\\JavaSoft\\Java Runtime Environment\\";

std::wstring Stub() {
  return FolderOf(FolderOf(GetModulePath())) + L"\\tools\\unpack200_stub.exe";
}

// A Java runtime registered in one registry view, its home folder given.
void RegisterRuntime(const std::wstring& version, REGSAM view, const std::wstring& home) {
  HKEY runtime = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kJavaKey + version).c_str(), 0, nullptr, 0,
                            KEY_WRITE | view, nullptr, &runtime, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(runtime, L"JavaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(home.c_str()),
                 static_cast<DWORD>((home.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(runtime);
}

struct Recorder : IUnpackProgress {
  void Begin() override { ++begun; }
  void SetTotal(uint32_t files) override { total = files; }
  void FileDone(const std::wstring& jar, bool was_made) override {
    done.push_back(jar);
    made.push_back(was_made);
  }
  bool IsCanceled() override { return cancel_after >= 0 && done.size() >= size_t(cancel_after); }
  int begun = 0;
  uint32_t total = 0;
  int cancel_after = -1;
  std::vector<std::wstring> done;
  std::vector<bool> made;
};

uint32_t Unpack(const std::vector<std::wstring>& folders, IUnpackProgress* progress) {
  UniqueKernelHandle worker = StartUnpacking(folders, nullptr, progress);
  EXPECT_TRUE(worker);
  EXPECT_EQ(WaitForSingleObject(worker.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeThread(worker.get(), &code);
  return code;
}

// The carried runtime: <folder>\<jre>\bin\unpack200.exe.
void CarryRuntime(const ScratchFolder& folder, const wchar_t* jre) {
  CreateDirectoryW((folder / jre).c_str(), nullptr);
  CreateDirectoryW((folder / jre + L"\\bin").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(Stub().c_str(), (folder / jre + L"\\bin\\unpack200.exe").c_str(), FALSE));
}

class PackUnpacking : public ::testing::Test {
 protected:
  void SetUp() override { InteractiveUi = false; }  // messages go to the log only
  void TearDown() override { InteractiveUi = true; }
};

TEST(PackRules, OnlyJarPacksAreUnpackedIntoTheJarName) {
  EXPECT_TRUE(IsPackedJarName(L"a.jar.pack"));
  EXPECT_TRUE(IsPackedJarName(L"A.JAR.PACK"));
  EXPECT_FALSE(IsPackedJarName(L"b.pack"));
  EXPECT_FALSE(IsPackedJarName(L"a.jar"));
  EXPECT_FALSE(IsPackedJarName(L"ajar.pack"));
  EXPECT_EQ(JarPathFor(L"C:\\x.y\\a.jar.pack"), L"C:\\x.y\\a.jar");
  EXPECT_EQ(UnpackCommandLine(L"C:\\t\\log1.log", L"C:\\e\\a.jar.pack", L"C:\\e\\a.jar"),
            L"--verbose --log-file=\"C:\\t\\log1.log\" --remove-pack-file \"C:\\e\\a.jar.pack\" "
            L"\"C:\\e\\a.jar\"");
}

TEST_F(PackUnpacking, CarriedJre64UnpacksJarPacksBelowTheFolderAndLeavesOtherPacks) {
  ScratchFolder folder;
  CarryRuntime(folder, L"jre64");  // no "jre": the 64-bit one is taken
  CreateDirectoryW((folder / L"lib").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(folder / L"lib\\a.jar.pack", "packed"));
  ASSERT_TRUE(WriteBytes(folder / L"b.pack", "other"));
  Recorder progress;
  EXPECT_EQ(Unpack({folder.path()}, &progress), kUnpackSucceeded);
  EXPECT_EQ(progress.begun, 1);
  EXPECT_EQ(progress.total, 1u);
  EXPECT_EQ(ReadBytes(folder / L"lib\\a.jar"), "packed");
  EXPECT_EQ(progress.made, std::vector<bool>{true});
  EXPECT_FALSE(PathExists(folder / L"lib\\a.jar.pack"));
  EXPECT_TRUE(PathExists(folder / L"b.pack"));
  const std::string calls = ReadBytes(folder / L"jre64\\bin\\calls.txt");
  EXPECT_NE(calls.find("--verbose --log-file=\""), std::string::npos) << calls;
  EXPECT_NE(calls.find(".log\" --remove-pack-file \""), std::string::npos) << calls;
  EXPECT_NE(calls.find("a.jar.pack\" \""), std::string::npos) << calls;
}

TEST_F(PackUnpacking, AFailingFileStopsTheRestAndCancelStopsBeforeTheNext) {
  ScratchFolder folder, later;  // folders are scanned in the order given
  CarryRuntime(folder, L"jre");
  ASSERT_TRUE(WriteBytes(folder / L"a-broken.jar.pack", "x"));
  ASSERT_TRUE(WriteBytes(later / L"b.jar.pack", "x"));
  Recorder failing;
  EXPECT_EQ(Unpack({folder.path(), later.path()}, &failing), kUnpackFailed);
  EXPECT_EQ(failing.done.size(), 1u);
  EXPECT_FALSE(PathExists(later / L"b.jar"));

  DeleteFileW((folder / L"a-broken.jar.pack").c_str());
  for (const wchar_t* name : {L"c.jar.pack", L"d.jar.pack"}) {
    ASSERT_TRUE(WriteBytes(later / name, "x"));
  }
  Recorder canceling;
  canceling.cancel_after = 1;
  EXPECT_EQ(Unpack({folder.path(), later.path()}, &canceling), kUnpackCanceled);
  EXPECT_EQ(canceling.done.size(), 1u);
  int still_packed = 0;
  for (const wchar_t* name : {L"b.jar.pack", L"c.jar.pack", L"d.jar.pack"}) {
    still_packed += PathExists(later / name) ? 1 : 0;
  }
  EXPECT_EQ(still_packed, 2);
}

// A JAR that was there before is what the setups get, as it always was, but
// it is neither overwritten nor counted as made by the run; with it there a
// failed unpack still fails, and the tool's output never stays behind.
TEST_F(PackUnpacking, AJarAlreadyThereStaysAsItIsAndAFailureStillFails) {
  ScratchFolder folder;
  CarryRuntime(folder, L"jre");
  ASSERT_TRUE(WriteBytes(folder / L"a.jar", "theirs"));
  ASSERT_TRUE(WriteBytes(folder / L"a.jar.pack", "packed"));
  Recorder kept;
  EXPECT_EQ(Unpack({folder.path()}, &kept), kUnpackSucceeded);
  EXPECT_EQ(ReadBytes(folder / L"a.jar"), "theirs");
  EXPECT_EQ(kept.made, std::vector<bool>{false});

  ASSERT_TRUE(WriteBytes(folder / L"b-broken.jar", "theirs too"));
  ASSERT_TRUE(WriteBytes(folder / L"b-broken.jar.pack", "x"));
  Recorder failing;
  EXPECT_EQ(Unpack({folder.path()}, &failing), kUnpackFailed);
  EXPECT_EQ(ReadBytes(folder / L"b-broken.jar"), "theirs too");
  EXPECT_EQ(failing.made, std::vector<bool>{false});
  WIN32_FIND_DATAW found;
  HANDLE leftovers = FindFirstFileW((folder / L"*.unpacking").c_str(), &found);
  EXPECT_EQ(leftovers, INVALID_HANDLE_VALUE);
  if (leftovers != INVALID_HANDLE_VALUE) FindClose(leftovers);
}

TEST_F(PackUnpacking, OnlyARegisteredRuntimeOf15OrLaterIsUsed) {
  ScratchFolder folder, home;
  CarryRuntime(home, L"bin");
  ASSERT_TRUE(WriteBytes(folder / L"a.jar.pack", "x"));
  RegisterRuntime(L"1.4", KEY_WOW64_32KEY, home.path());
  EXPECT_EQ(FindJavaTool(L"unpack200.exe", L"1.5", folder / L"jre", folder / L"jre64"), L"");
  EXPECT_EQ(Unpack({folder.path()}, nullptr), kUnpackFailed);  // message 203
  EXPECT_TRUE(PathExists(folder / L"a.jar.pack"));

  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kJavaKey + L"1.4").c_str(), KEY_WOW64_32KEY, 0);
  RegisterRuntime(L"1.6.0_45", KEY_WOW64_64KEY, home.path());
  EXPECT_EQ(FindJavaTool(L"unpack200.exe", L"1.5", folder / L"jre", folder / L"jre64"),
            home / L"bin\\bin\\unpack200.exe");
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kJavaKey + L"1.6.0_45").c_str(), KEY_WOW64_64KEY, 0);
}
}  // namespace
