// The decisions of the installation sequence, from configuration text to the
// setups it starts: exit_with.exe plays every setup for real.
#include "core/prereq_chainer.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/ini_document.h"
#include "download/file_digest.h"
#include "test_support.h"
#include "util/module_path.h"
#include "util/path_text.h"

namespace {
// build/tests/unit_core.exe -> build/tools\ (holds exit_with.exe)
std::wstring ToolsFolder() {
  return FolderOf(FolderOf(GetModulePath())) + L"\\tools\\";
}

const wchar_t kMissing[] =
    L"SearchType1=5\r\nSearchString1=HKLM\\Software\\ChainerUnit\\Missing\r\n";
const wchar_t kPresent[] =
    L"SearchType1=6\r\nSearchString1=HKLM\\Software\\ChainerUnit\\Missing\r\n";

// One prerequisite section; body holds its keys as "Key=value\r\n" lines.
struct Section {
  std::wstring name;
  std::wstring body;
};

std::wstring Ini(const std::wstring& options, const std::vector<Section>& sections) {
  std::wstring text = L"[GeneralOptions]\r\nOptions=" + options + L"\r\n[PREREQUISITES]\r\n";
  for (size_t i = 0; i < sections.size(); ++i) {
    text += L"App" + std::to_wstring(i + 1) + L"=" + sections[i].name + L"\r\n";
  }
  for (const Section& s : sections) text += L"[" + s.name + L"]\r\n" + s.body;
  return text;
}

// A setup of the package: exit_with.exe with the given arguments for all
// three user-interface levels.
Section PackageSetup(const std::wstring& name, const std::wstring& arguments,
                     const std::wstring& options = L"", const std::wstring& extra = L"") {
  return {name, L"SetupFile=exit_with.exe\r\nCommandLine=" + arguments +
                    L"\r\nBasicUiCommandLine=" + arguments + L"\r\nNoUiCommandLine=" + arguments +
                    L"\r\nOptions=" + options + L"\r\n" + kMissing + extra};
}

// Everything one run of the sequence needs; the configuration is loaded at
// construction, detection runs on Detect().
struct Chain {
  explicit Chain(const std::wstring& ini)
      : store(config, nullptr), chainer(config, archive, progress, store, seams) {
    IniDocument document;
    document.Parse(ini);
    config.LoadConfiguration(document);
    config.download_folder = WithTrailingBackslash(downloads.path());
    archive.SetDestination(ToolsFolder());
  }
  Chain& Detect() {
    config.DetectAll();
    return *this;
  }

  ScratchFolder downloads;
  ChainerConfig config;
  EmbeddedArchive archive;
  ProgressState progress;
  PlatformSeams seams;
  InterbootStore store;
  PrereqChainer chainer;
};

struct FakeSink : IProgressSink {
  void SetStepCount(uint64_t count, uint32_t high) override {
    step_counts.emplace_back(count, high);
  }
  void BeginTransfer(int32_t, uint64_t, const std::wstring&) override {}
  void EndTransfer(int32_t, uint32_t) override {}
  void AddBytes(uint64_t) override {}
  bool IsCanceled() override { return ++cancel_questions > cancel_after; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring& text, uint32_t code, void*) override {
    errors.emplace_back(text, code);
    return static_cast<int32_t>(code);
  }
  void SetStatus(const std::wstring&, int32_t kind, uint32_t) override {
    status_kinds.push_back(kind);
  }

  int cancel_after = 1 << 30;  // answers "cancelled" from this question on
  int cancel_questions = 0;
  std::vector<std::pair<uint64_t, uint32_t>> step_counts;
  std::vector<std::pair<std::wstring, uint32_t>> errors;
  std::vector<int32_t> status_kinds;
};

// The exit codes the stand-in setups were started with, in start order
// (exit_with appends its command line and its folder to the record file).
std::vector<std::string> LaunchedCodes(const std::wstring& record) {
  std::vector<std::string> codes;
  HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return codes;
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  text.resize(read);
  size_t start = 0;
  for (int line = 0; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (line % 2 == 0) {  // the command line: "...exit_with.exe" CODE "RECORD"
      const std::string command = text.substr(start, end - start);
      const size_t after_exe = command.find("exit_with.exe") + 13;
      const size_t code_start = command.find_first_not_of("\" ", after_exe);
      codes.push_back(command.substr(code_start, command.find(' ', code_start) - code_start));
    }
    start = end + 1;
  }
  return codes;
}

std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

TEST(RebootModeFor, SmallRWantsARestartCapitalRMakesItAdvised) {
  struct Case {
    const wchar_t* options;
    int32_t mode;
  } cases[] = {{L"", 0},   {L"r", 1}, {L"mr", 1},  {L"rR", 2},
               {L"Rr", 2}, {L"R", 0}, {L"mRx", 0}, {L"rrR", 2}};
  for (const Case& c : cases) EXPECT_EQ(RebootModeFor(c.options), c.mode) << c.options;
}

TEST(BuildLaunchList, CommandLineFollowsTheGeneralOptionsBasicBeforeSilent) {
  struct Case {
    const wchar_t* options;
    const wchar_t* command_line;
  } cases[] = {{L"", L"/full"},    {L"b", L"/basic"},  {L"q", L"/silent"},
               {L"qb", L"/basic"}, {L"bq", L"/basic"}, {L"x", L"/full"}};
  for (const Case& c : cases) {
    Chain chain(
        Ini(c.options, {{L"Runtime", std::wstring(L"SetupFile=exit_with.exe\r\n") +
                                         L"CommandLine=/full\r\nBasicUiCommandLine=/basic\r\n"
                                         L"NoUiCommandLine=/silent\r\nOptions=rR\r\n"
                                         L"RetValPropName=RET\r\n" +
                                         kMissing}}));
    chain.Detect();
    chain.chainer.BuildLaunchList(true);
    ASSERT_EQ(chain.chainer.launcher().entries.size(), 1u) << c.options;
    const LaunchEntry& entry = chain.chainer.launcher().entries[0];
    EXPECT_EQ(entry.command_line, c.command_line) << c.options;
    EXPECT_EQ(entry.path, ToolsFolder() + L"exit_with.exe");
    EXPECT_EQ(entry.display_name, L"Runtime");
    EXPECT_EQ(entry.reboot_mode, 2);
    EXPECT_EQ(entry.tag, 1);
    EXPECT_EQ(entry.ret_val_prop_name, L"RET");
    EXPECT_EQ(entry.prereq_index, 0);
  }
}

TEST(BuildLaunchList, OnlyInstallableOutcomesGetEntriesAndTheListIsRebuilt) {
  Chain chain(
      Ini(L"q", {PackageSetup(L"Missing", L"/a"),
                 {L"Present", std::wstring(L"SetupFile=exit_with.exe\r\n") + kPresent},
                 {L"Site", std::wstring(L"OpenSite=http://example.invalid/\r\n") + kMissing},
                 {L"Remote", std::wstring(L"Url=http://example.invalid/r.exe\r\n") + kMissing},
                 PackageSetup(L"Deselected", L"/b"),
                 PackageSetup(L"Last", L"/c")}));
  chain.Detect();
  chain.config.SelectPrerequisite(4, false);
  chain.chainer.BuildLaunchList(false);
  chain.chainer.BuildLaunchList(false);  // a second call must not append
  const std::vector<LaunchEntry>& entries = chain.chainer.launcher().entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].display_name, L"Missing");
  EXPECT_EQ(entries[1].display_name, L"Last");
  EXPECT_EQ(entries[1].prereq_index, 5);
  EXPECT_EQ(entries[1].tag, 0);
}

TEST(BuildLaunchList, FileUrlsAreLocalPathsWithBackslashes) {
  Chain chain(Ini(L"q", {{L"Three", std::wstring(L"Url=file:///C:/x/y.exe\r\n") + kMissing},
                         {L"Two", std::wstring(L"Url=FILE://D:/a/b/setup.exe\r\n") + kMissing}}));
  chain.Detect();
  chain.chainer.BuildLaunchList(true);
  const std::vector<LaunchEntry>& entries = chain.chainer.launcher().entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, L"C:\\x\\y.exe");
  EXPECT_EQ(entries[1].path, L"D:\\a\\b\\setup.exe");
}

TEST(BuildLaunchList, PackageCommandLinesStayAsWrittenDownloadedOnesAreExpanded) {
  const std::wstring arguments = L"/dir=[WindowsFolder] /env=%WINDIR%";
  Chain chain(Ini(L"q", {PackageSetup(L"FromPackage", arguments),
                         {L"Downloaded",
                          L"Url=http://downloads.invalid/pkg/setup.exe\r\n"
                          L"Folder=sub\r\nExactSize=5\r\nNoUiCommandLine=" +
                              arguments + L"\r\n" + kMissing},
                         {L"WrongSize",
                          L"Url=http://downloads.invalid/other.exe\r\n"
                          L"ExactSize=6\r\nNoUiCommandLine=/x\r\n" +
                              std::wstring(kMissing)}}));
  CreateDirectoryW((chain.downloads / L"sub").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(chain.downloads / L"sub\\setup.exe", "12345"));
  ASSERT_TRUE(WriteBytes(chain.downloads / L"other.exe", "12345"));
  chain.Detect();
  ASSERT_EQ(chain.config.EffectiveOutcome(1), DetectionState::AlreadyDownloaded);
  ASSERT_EQ(chain.config.EffectiveOutcome(2), DetectionState::Download);

  chain.chainer.BuildLaunchList(true);
  const std::vector<LaunchEntry>& entries = chain.chainer.launcher().entries;
  ASSERT_EQ(entries.size(), 2u) << "a download that is not complete is not launched";
  EXPECT_EQ(entries[0].command_line, arguments);

  wchar_t windows[MAX_PATH] = {}, variable[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetEnvironmentVariableW(L"WINDIR", variable, MAX_PATH);
  EXPECT_EQ(entries[1].display_name, L"Downloaded");
  EXPECT_EQ(entries[1].command_line, std::wstring(L"/dir=") + windows + L" /env=" + variable);
  EXPECT_EQ(entries[1].path, chain.downloads / L"sub\\setup.exe");
}

TEST(CheckMandatory, OnlyMandatoryPrerequisitesThatWereSearchedCanFail) {
  struct Case {
    const wchar_t* options;
    bool detected_present;
    bool passes;
  } cases[] = {
      {L"", false, true},    // optional and missing
      {L"m", false, false},  // mandatory and missing
      {L"mi", false, true},  // mandatory but never searched
      {L"m", true, true},    // mandatory and present
  };
  for (const Case& c : cases) {
    Chain chain(
        Ini(L"q", {PackageSetup(L"Other", L""),
                   {L"Target", std::wstring(L"SetupFile=exit_with.exe\r\nOptions=") + c.options +
                                   L"\r\n" + (c.detected_present ? kPresent : kMissing)}}));
    chain.Detect();
    EXPECT_EQ(chain.chainer.CheckMandatory(nullptr), c.passes) << c.options;
    EXPECT_EQ(chain.chainer.failed_mandatory(), c.passes ? L"" : L"Target") << c.options;
  }

  Chain deselected(Ini(L"q", {PackageSetup(L"Target", L"", L"m")}));
  deselected.Detect();
  deselected.config.SelectPrerequisite(0, false);
  EXPECT_TRUE(deselected.chainer.CheckMandatory(nullptr)) << "not selected counts as fine";

  Chain empty(Ini(L"q", {}));
  EXPECT_TRUE(empty.chainer.CheckMandatory(nullptr));
}

TEST(ReportSelection, HandsTheSelectedIndicesJoinedByCommas) {
  Chain chain(Ini(L"q", {PackageSetup(L"A", L""),
                         {L"B", std::wstring(L"SetupFile=exit_with.exe\r\n") + kPresent},
                         PackageSetup(L"C", L"")}));
  chain.Detect();
  chain.chainer.ReportSelection(nullptr);  // no listener: nothing happens
  std::vector<std::wstring> reports;
  chain.chainer.selection_listener = [&](const std::wstring& indices) {
    reports.push_back(indices);
  };
  chain.chainer.ReportSelection(nullptr);
  chain.config.SelectPrerequisite(0, false);
  chain.chainer.ReportSelection(nullptr);
  chain.config.SelectPrerequisite(2, false);
  chain.chainer.ReportSelection(nullptr);
  EXPECT_EQ(reports, (std::vector<std::wstring>{L"0,2", L"2", L""}));
}

class InstallPrerequisitesTest : public ::testing::Test {
 protected:
  // A setup that exits with code and leaves a trace in the shared record.
  Section Setup(const std::wstring& name, int code, const std::wstring& options = L"",
                const std::wstring& extra = L"") {
    return PackageSetup(name,
                        std::to_wstring(code) + L" " + Quoted(record_.path() + L"\\record.txt"),
                        options, extra);
  }
  std::vector<std::string> Launched() { return LaunchedCodes(record_ / L"record.txt"); }

  ScratchFolder record_;
};

TEST_F(InstallPrerequisitesTest, NothingToInstallAnnouncesNoStepsAndSucceeds) {
  Chain chain(Ini(L"b", {{L"Present", std::wstring(L"SetupFile=exit_with.exe\r\n") + kPresent}}));
  chain.Detect();
  FakeSink sink;
  EXPECT_EQ(chain.chainer.InstallPrerequisites(&sink), 0u);
  EXPECT_EQ(sink.step_counts, (std::vector<std::pair<uint64_t, uint32_t>>{{0, 0}}));
  EXPECT_TRUE(sink.status_kinds.empty());
  EXPECT_EQ(sink.cancel_questions, 1);  // once, before the launch list is built
}

TEST_F(InstallPrerequisitesTest, RunsEverySetupInOrderAndPublishesTheirCodes) {
  Chain chain(
      Ini(L"b", {Setup(L"First", 0, L"", L"RetValPropName=RET_FIRST\r\n"),
                 Setup(L"Failing", 7, L"", L"RetValPropName=RET_FAILING\r\n"), Setup(L"Last", 0)}));
  chain.Detect();
  FakeSink sink;
  EXPECT_EQ(chain.chainer.InstallPrerequisites(&sink), 0u) << "an optional failure goes on";
  EXPECT_EQ(Launched(), (std::vector<std::string>{"0", "7", "0"}));
  EXPECT_EQ(sink.step_counts, (std::vector<std::pair<uint64_t, uint32_t>>{{3, 0}}));
  EXPECT_EQ(sink.status_kinds, (std::vector<int32_t>{9, 9, 9}));
  EXPECT_TRUE(sink.errors.empty());
  int32_t value = -1;
  EXPECT_EQ(chain.store.GetInt("RET_FIRST", &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(chain.store.GetInt("RET_FAILING", &value), 0);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(chain.chainer.launcher().entries[1].return_code, 7u);
  EXPECT_FALSE(chain.chainer.reboot_required());
}

TEST_F(InstallPrerequisitesTest, FileUrlSetupStartsFromItsOwnPlace) {
  std::wstring url = L"file:///" + ToolsFolder() + L"exit_with.exe";
  for (wchar_t& c : url) c = c == L'\\' ? L'/' : c;
  Chain chain(
      Ini(L"q", {{L"Local", L"Url=" + url + L"\r\nNoUiCommandLine=3 " +
                                Quoted(record_.path() + L"\\record.txt") + L"\r\n" + kMissing}}));
  chain.Detect();
  EXPECT_EQ(chain.chainer.InstallPrerequisites(nullptr), 0u);
  EXPECT_EQ(Launched(), (std::vector<std::string>{"3"}));
  EXPECT_EQ(chain.chainer.launcher().entries.at(0).return_code, 3u);
}

TEST_F(InstallPrerequisitesTest, CancelStopsBeforeTheNextSetupStarts) {
  Chain chain(Ini(L"b", {Setup(L"First", 0), Setup(L"Second", 0), Setup(L"Third", 0)}));
  chain.Detect();
  FakeSink sink;
  sink.cancel_after = 2;
  EXPECT_EQ(chain.chainer.InstallPrerequisites(&sink), 1602u);
  EXPECT_EQ(Launched(), (std::vector<std::string>{"0"}));
  EXPECT_EQ(sink.status_kinds.size(), 1u);

  // Cancelled before the step: no launch list, so nothing bundled is extracted.
  Chain again(Ini(L"b", {Setup(L"First", 0)}));
  again.Detect();
  sink = FakeSink();
  sink.cancel_after = 0;
  EXPECT_EQ(again.chainer.InstallPrerequisites(&sink), 1602u);
  EXPECT_TRUE(again.chainer.launcher().entries.empty());
  EXPECT_EQ(Launched().size(), 1u) << "cancelled before the first setup";
}

TEST_F(InstallPrerequisitesTest, FailingMandatorySetupStopsTheChainWith1603) {
  for (bool with_sink : {true, false}) {
    DeleteFileW((record_ / L"record.txt").c_str());
    Chain chain(Ini(L"bq", {Setup(L"Optional", 4), Setup(L"Needed", 5, L"m"), Setup(L"Later", 0)}));
    chain.Detect();
    FakeSink sink;
    EXPECT_EQ(chain.chainer.InstallPrerequisites(with_sink ? &sink : nullptr), 1603u);
    EXPECT_EQ(Launched(), (std::vector<std::string>{"4", "5"})) << with_sink;
    if (with_sink) {
      EXPECT_EQ(sink.errors,
                (std::vector<std::pair<std::wstring, uint32_t>>{{L"Needed", 0xE0000024u}}));
    }
  }
}

TEST_F(InstallPrerequisitesTest, EndingSessionLaunchesNothingMore) {
  Chain chain(Ini(L"q", {Setup(L"First", 0), Setup(L"Second", 0)}));
  chain.Detect();
  chain.chainer.session_ending = true;
  EXPECT_EQ(chain.chainer.InstallPrerequisites(nullptr), 0u);
  EXPECT_TRUE(Launched().empty());
}
}  // namespace

// The download step on file: addresses: real transfers through the engine
// without a server. Detection counts a file: source as already there, so the
// tests mark each one missing again, as a web address would be.
class DownloadPrerequisitesTest : public ::testing::Test {
 protected:
  static Section Fetched(const std::wstring& name, const std::wstring& extra,
                         const std::wstring& options = L"") {
    std::wstring url = L"file:///" + ToolsFolder() + L"exit_with.exe";
    for (wchar_t& c : url) c = c == L'\\' ? L'/' : c;
    return {name, L"Url=" + url + L"\r\nOptions=" + options + L"\r\n" + kMissing + extra};
  }
  static void MarkMissing(Chain& chain) {
    chain.Detect();
    for (Prerequisite& record : chain.config.prerequisites) record.downloaded = false;
  }
};

TEST_F(DownloadPrerequisitesTest, RejectedFileStopsTheQueueAndIsReportedWithItsCode) {
  char digest[33] = {};
  ASSERT_TRUE(ComputeFileMd5(ToolsFolder() + L"exit_with.exe", digest));
  std::wstring upper;
  for (const char* c = digest; *c; ++c) upper += static_cast<wchar_t>(toupper(*c));
  Chain chain(Ini(
      L"b", {Fetched(L"First", L"MD5=" + upper + L"\r\n"),
             Fetched(L"Second", L"Folder=sub?second.exe\r\nMD5=" + upper.substr(0, 31) + L"\r\n"),
             Fetched(L"Third", L"Folder=third\r\n")}));
  MarkMissing(chain);
  FakeSink sink;
  EXPECT_EQ(chain.chainer.DownloadPrerequisites(&sink), 1603u);
  EXPECT_EQ(sink.step_counts, (std::vector<std::pair<uint64_t, uint32_t>>{{3, 0}}));
  EXPECT_EQ(sink.status_kinds, (std::vector<int32_t>{9, 9}));
  EXPECT_EQ(sink.errors, (std::vector<std::pair<std::wstring, uint32_t>>{{L"", 0xE0000022u}}));
  EXPECT_TRUE(chain.config.prerequisites[0].downloaded);
  EXPECT_TRUE(PathExists(chain.downloads / L"exit_with.exe"));
  EXPECT_FALSE(PathExists(chain.downloads / L"sub\\second.exe"));
  EXPECT_FALSE(PathExists(chain.downloads / L"third"));
}

TEST_F(DownloadPrerequisitesTest, MandatoryFailureEndsTheStepAnOptionalOneIsSkipped) {
  Chain chain(Ini(L"b", {{L"Empty", L"Url=\r\nOptions=\r\n" + std::wstring(kMissing)},
                         Fetched(L"Fetched", L""),
                         {L"Needed", L"Url=file:///C:/nowhere/setup.exe\r\nOptions=m\r\n" +
                                         std::wstring(kMissing)},
                         Fetched(L"Never", L"Folder=never\r\n")}));
  MarkMissing(chain);
  FakeSink sink;
  EXPECT_EQ(chain.chainer.DownloadPrerequisites(&sink), 1603u);
  EXPECT_FALSE(chain.config.prerequisites[0].downloaded);
  EXPECT_TRUE(chain.config.prerequisites[1].downloaded);
  EXPECT_EQ(sink.errors.back(), (std::pair<std::wstring, uint32_t>{L"Needed", 0xE0000024u}));
  EXPECT_FALSE(PathExists(chain.downloads / L"never"));
}

TEST_F(DownloadPrerequisitesTest, AnEmptyAddressFailsWithItsOwnCodeAndCreatesNothing) {
  Chain chain(
      Ini(L"q", {{L"Empty", L"Url=\r\nOptions=m\r\nFolder=made\r\n" + std::wstring(kMissing)}}));
  MarkMissing(chain);
  chain.chainer.downloads().last_error = ERROR_ACCESS_DENIED;  // an earlier failure
  EXPECT_EQ(chain.chainer.DownloadPrerequisites(nullptr), 1603u);
  EXPECT_EQ(chain.chainer.downloads().last_error, 12006u);
  EXPECT_TRUE(chain.chainer.downloads().created_folders.empty());
}

TEST_F(DownloadPrerequisitesTest, CancelledBeforeAnItemFetchesNothingAndIsNoFailure) {
  Chain chain(Ini(L"b", {Fetched(L"Fetched", L"", L"m")}));
  MarkMissing(chain);
  FakeSink sink;
  sink.cancel_after = 0;
  EXPECT_EQ(chain.chainer.DownloadPrerequisites(&sink), 0u);
  EXPECT_TRUE(sink.errors.empty());
  EXPECT_FALSE(PathExists(chain.downloads / L"exit_with.exe"));
}
