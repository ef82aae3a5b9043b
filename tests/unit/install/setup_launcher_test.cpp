// The launcher against real processes: a stand-in setup that exits with the
// code it is given.
#include "install/setup_launcher.h"

#include <gtest/gtest.h>

#include <map>

#include "install/process_launch.h"
#include "platform/core/exceptions.h"
#include "test_support.h"
#include "util/module_path.h"
#include "util/path_text.h"

namespace {
std::wstring StandIn() {
  // build/tests/unit_install.exe -> build/tools/exit_with.exe
  return FolderOf(FolderOf(GetModulePath())) + L"\\tools\\exit_with.exe";
}

struct RecordingSink : IReturnValueSink {
  void SetInt(const std::string& name, int32_t value) override { values.emplace_back(name, value); }
  std::vector<std::pair<std::string, int32_t>> values;
};

struct ScriptedAdvisor : IRebootAdvisor {
  bool AdviseReboot(int32_t index) override {
    asked.push_back(index);
    return answer;
  }
  bool answer = false;
  std::vector<int32_t> asked;
};

struct CountingRestarter : IMachineRestarter {
  bool RestartWindows() override {
    ++restarts;
    return true;
  }
  int restarts = 0;
};

struct ScriptedStore : IStorePackageInstaller {
  uint32_t InstallStorePackage(const std::wstring& path) override {
    paths.push_back(path);
    return result;
  }
  uint32_t result = 0;
  std::vector<std::wstring> paths;
};

TEST(ProcessLaunch, ShellAndCreateProcessReportExitCodesAndStartErrors) {
  uint32_t code = 0;
  EXPECT_TRUE(ShellExecuteAndWait(StandIn(), L"37", L"", true, &code));
  EXPECT_EQ(code, 37u);
  EXPECT_TRUE(ShellExecuteAndWait(L"\\\\?\\" + StandIn(), L"5", L"", false, &code));
  EXPECT_EQ(code, 5u);
  EXPECT_FALSE(ShellExecuteAndWait(L"C:\\windows\\no-such-setup.exe", L"", L"", true, &code));
  EXPECT_EQ(code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));

  EXPECT_TRUE(CreateProcessAndWait(StandIn(), L"\"" + StandIn() + L"\" 3221225477", 0, &code));
  EXPECT_EQ(code, 3221225477u);
  EXPECT_FALSE(CreateProcessAndWait(L"C:\\windows\\no-such.exe", L"", 0, &code));
  EXPECT_EQ(code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST(ProcessLaunch, ShellStartsInTheSetupsOwnFolder) {
  ScratchFolder dir;
  std::wstring record = dir / L"record.txt";
  uint32_t code = 1;
  ASSERT_TRUE(ShellExecuteAndWait(StandIn(), L"0 " + record, L"", true, &code));
  std::string text;
  HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[4096];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  text.assign(buffer, read);
  const std::wstring wide_folder = FolderOf(StandIn());
  const std::string folder(wide_folder.begin(), wide_folder.end());
  EXPECT_NE(text.find("\n" + folder + "\n"), std::string::npos) << text << " / " << folder;
}

TEST(LaunchSetup, RecordsLogsAndPublishesTheReturnCode) {
  RecordingSink sink;
  SetupLauncher launcher(&sink, nullptr, nullptr, nullptr);
  launcher.AddLaunchEntry(StandIn(), L"0", L"Zero", 0, 7, L"RET_ZERO", 0);
  launcher.AddLaunchEntry(StandIn(), L"12", L"Twelve", 0, 7, L"", 1);
  launcher.AddLaunchEntry(L"C:\\windows\\missing-setup.exe", L"/q", L"Missing", 0, 7,
                          L"RET_MISSING", 2);
  EXPECT_TRUE(launcher.LaunchSetup(0));
  EXPECT_FALSE(launcher.LaunchSetup(1));
  EXPECT_FALSE(launcher.LaunchSetup(2));
  EXPECT_EQ(launcher.entries[0].return_code, 0u);
  EXPECT_EQ(launcher.entries[1].return_code, 12u);
  EXPECT_EQ(launcher.entries[2].return_code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(launcher.entries[1].tag, 7);
  // Published also without a property name, as the store ignores empty names.
  std::vector<std::pair<std::string, int32_t>> expected{
      {"RET_ZERO", 0}, {"", 12}, {"RET_MISSING", ERROR_FILE_NOT_FOUND}};
  EXPECT_EQ(sink.values, expected);
  EXPECT_THROW(launcher.LaunchSetup(3), Exception);
}

TEST(LaunchSetup, AWithheldEntryIsNotStartedAndFailsWithItsCode) {
  // The stand-in would return 0 if it were started.
  RecordingSink sink;
  SetupLauncher launcher(&sink, nullptr, nullptr, nullptr);
  launcher.AddLaunchEntry(StandIn(), L"0", L"Stale", 0, 0, L"RET_STALE", 0);
  launcher.entries[0].withheld = ERROR_CRC;
  EXPECT_EQ(launcher.RunInstallStep(0, true), kStepFailed);
  EXPECT_EQ(launcher.entries[0].return_code, static_cast<uint32_t>(ERROR_CRC));
  std::vector<std::pair<std::string, int32_t>> expected{{"RET_STALE", ERROR_CRC}};
  EXPECT_EQ(sink.values, expected);
}

TEST(LaunchSetup, RestartCodeCountsAsFailure) {
  SetupLauncher launcher(nullptr, nullptr, nullptr, nullptr);
  launcher.AddLaunchEntry(StandIn(), L"3010", L"Needs restart", 1, 0, L"", 0);
  EXPECT_EQ(launcher.RunInstallStep(0, true), kStepFailed);
  EXPECT_FALSE(launcher.reboot_required);
}

TEST(LaunchSetup, StorePackagesGoToThePackageInstaller) {
  ScriptedStore store;
  SetupLauncher launcher(nullptr, nullptr, &store, nullptr);
  launcher.AddLaunchEntry(L"C:\\p\\App.MSIX", L"", L"App", 0, 0, L"", 0);
  launcher.AddLaunchEntry(L"C:\\p\\App.appx", L"", L"App", 0, 0, L"", 0);
  EXPECT_TRUE(launcher.LaunchSetup(0));
  store.result = 3;
  EXPECT_FALSE(launcher.LaunchSetup(1));
  EXPECT_EQ(launcher.entries[1].return_code, 1627u);
  EXPECT_EQ(store.paths, (std::vector<std::wstring>{L"C:\\p\\App.MSIX", L"C:\\p\\App.appx"}));

  SetupLauncher without_store(nullptr, nullptr, nullptr, nullptr);
  without_store.AddLaunchEntry(L"C:\\p\\App.msix", L"", L"App", 0, 0, L"", 0);
  EXPECT_FALSE(without_store.LaunchSetup(0));
  EXPECT_EQ(without_store.entries[0].return_code, 1627u);
}

TEST(LaunchSetup, LocalSystemStartsTheSetupDirectly) {
  SetupLauncher launcher(nullptr, nullptr, nullptr, nullptr);
  launcher.is_local_system = [] { return true; };
  launcher.AddLaunchEntry(StandIn(), L"%CHAINER_TEST_UNDEFINED%9", L"Direct", 0, 0, L"", 0);
  // The setup sees its quoted path, a blank, then the expanded arguments.
  EXPECT_FALSE(launcher.LaunchSetup(0));
  EXPECT_EQ(launcher.entries[0].return_code, 9u);
}

TEST(InstallStep, RestartFollowsTheRebootModeAndTheAdvisor) {
  struct Case {
    int32_t reboot_mode;
    bool advice;
    InstallStepResult result;
    int restarts;
    std::vector<int32_t> asked;
  } cases[] = {
      {0, true, kStepSucceeded, 0, {}},   {1, false, kStepRebooting, 1, {}},
      {2, false, kStepSucceeded, 0, {4}}, {2, true, kStepRebooting, 1, {4}},
      {3, true, kStepSucceeded, 0, {}},
  };
  for (const Case& c : cases) {
    ScriptedAdvisor advisor;
    advisor.answer = c.advice;
    CountingRestarter restarter;
    SetupLauncher launcher(nullptr, &advisor, nullptr, &restarter);
    launcher.AddLaunchEntry(StandIn(), L"0", L"P", c.reboot_mode, 0, L"", 4);
    EXPECT_EQ(launcher.RunInstallStep(0, true), c.result) << "mode " << c.reboot_mode;
    EXPECT_EQ(restarter.restarts, c.restarts) << "mode " << c.reboot_mode;
    EXPECT_EQ(launcher.reboot_required, c.restarts == 1);
    EXPECT_FALSE(launcher.reboot_refused);
    EXPECT_EQ(advisor.asked, c.asked);
  }
}
}  // namespace
