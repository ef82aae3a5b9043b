// Runs against Wine's real file system: long trees, links and read-only files
// are made on disk, never imitated.
#include "util/file_ops.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "test_support.h"
#include "util/module_path.h"
#include "util/path_text.h"
#include "util/temp_folder.h"

namespace {

using Paths = std::vector<std::wstring>;

// Makes path the current folder until the end of the scope.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    saved_ = buffer;
    SetCurrentDirectoryW(path.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

// Sets an environment variable until the end of the scope.
class EnvironmentValue {
 public:
  EnvironmentValue(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t buffer[32768] = {};
    had_ = GetEnvironmentVariableW(name, buffer, 32768) > 0;
    saved_ = buffer;
    SetEnvironmentVariableW(name, value);
  }
  ~EnvironmentValue() { SetEnvironmentVariableW(name_, had_ ? saved_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_;
  std::wstring saved_;
};

// base, then folders of 59 characters, then one name: exactly length characters.
std::wstring PathOfLength(const std::wstring& base, size_t length) {
  std::wstring path = base;
  while (path.size() + 61 < length) path += L"\\" + std::wstring(59, L'd');
  return path + L"\\" + std::wstring(length - path.size() - 1, L'f');
}

bool IsFolderOnDisk(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(ToLongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(LongPaths, CreateWriteEnumerateAndDeleteBeyond260Characters) {
  ScratchFolder scratch;
  const std::wstring top = scratch / L"tree";
  std::wstring deep = top;
  Paths expected = {L"\\\\?\\" + top};
  for (int i = 0; deep.size() <= 330; ++i) {
    deep += L"\\segment-" + std::to_wstring(i) + L"-" + std::wstring(20, L'x');
    expected.push_back(L"\\\\?\\" + deep);
  }
  Paths created;
  ASSERT_EQ(CreateFolderTree(deep, true, &created), 0u);
  EXPECT_EQ(created, expected);  // the existing levels above are not listed
  EXPECT_TRUE(PathExists(deep));
  EXPECT_TRUE(PathExists(deep + L"\\"));

  const std::wstring file = deep + L"\\data.bin";
  ASSERT_TRUE(WriteBytes(ToLongPath(file), "12345"));
  ASSERT_EQ(CreateFolderTree(deep + L"\\sub", true), 0u);
  FILETIME written = {};
  DWORD size = 0;
  ASSERT_EQ(GetFileInfo(file, &written, &size), 0u);
  EXPECT_EQ(size, 5u);
  EXPECT_NE(written.dwLowDateTime | written.dwHighDateTime, 0u);

  std::map<std::wstring, std::pair<std::wstring, bool>> entries;  // name: full path, folder
  FolderEnumerator walk(deep + L"\\*");
  while (walk.Next()) entries[walk.Name()] = {walk.FullPath(), walk.IsFolder()};
  EXPECT_EQ(walk.error(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_EQ(entries.size(), 4u);  // ".", "..", data.bin, sub
  EXPECT_EQ(entries[L"data.bin"], std::make_pair(L"\\\\?\\" + file, false));
  EXPECT_EQ(entries[L"sub"], std::make_pair(L"\\\\?\\" + deep + L"\\sub", true));
  EXPECT_TRUE(entries[L"."].second);

  DeleteFolderTree(top);
  EXPECT_FALSE(PathExists(expected[1].substr(4)));
  EXPECT_TRUE(RemoveFolderLong(top));
  EXPECT_FALSE(PathExists(top));
}

TEST(LongPaths, DeleteFileAndRemoveFolderAroundTheLimit) {
  ScratchFolder scratch;
  for (size_t length : {100u, 259u, 260u, 300u}) {
    SCOPED_TRACE(length);
    const std::wstring file = PathOfLength(scratch / (L"f" + std::to_wstring(length)), length);
    ASSERT_EQ(file.size(), length);
    ASSERT_EQ(CreateFolderTree(file, false), 0u);
    ASSERT_TRUE(WriteBytes(ToLongPath(file), "x"));
    EXPECT_TRUE(DeleteFileLong(file));
    EXPECT_EQ(GetFileInfo(file, nullptr, nullptr), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    const std::wstring folder = PathOfLength(scratch / (L"d" + std::to_wstring(length)), length);
    ASSERT_EQ(CreateFolderTree(folder, true), 0u);
    ASSERT_TRUE(IsFolderOnDisk(folder));
    EXPECT_TRUE(RemoveFolderLong(folder));
    EXPECT_FALSE(IsFolderOnDisk(folder));
  }
  SetLastError(0);
  EXPECT_FALSE(DeleteFileLong(scratch / L"missing.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(GetFileInfo, ErrorCodes) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteBytes(scratch / L"real.txt", "hello"));
  struct Case {
    std::wstring path;
    DWORD code;
  } cases[] = {
      {L"", ERROR_INVALID_PARAMETER},
      {L"C", ERROR_PATH_NOT_FOUND},
      {L"\\", ERROR_PATH_NOT_FOUND},
      {L"real.txt", ERROR_PATH_NOT_FOUND},  // relative, even where it exists
      {L"relative\\file.txt", ERROR_PATH_NOT_FOUND},
      {scratch / L"missing.txt", ERROR_FILE_NOT_FOUND},
      {scratch / L"no-folder\\file.txt", ERROR_PATH_NOT_FOUND},
      {scratch / L"real.txt", 0},
      {scratch.path() + L"\\", 0},  // a folder named with its trailing backslash
  };
  CurrentFolder here(scratch.path());
  for (const Case& c : cases) {
    DWORD size = 12345;
    EXPECT_EQ(GetFileInfo(c.path, nullptr, &size), c.code) << c.path;
    EXPECT_EQ(PathExists(c.path), c.code == 0) << c.path;
    if (c.path == scratch / L"real.txt") {
      EXPECT_EQ(size, 5u);
    }
  }
}

TEST(FolderEnumerator, OverlongPatternFailsCleanly) {
  FolderEnumerator walk(L"C:\\" + std::wstring(32764, L'x'));
  EXPECT_FALSE(walk.Next());
  EXPECT_EQ(walk.error(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(walk.Next());
}

TEST(FolderEnumerator, ShortPatternGivesFullPaths) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteBytes(scratch / L"a.txt", ""));
  FolderEnumerator walk(scratch / L"*.txt");
  ASSERT_TRUE(walk.Next());
  EXPECT_EQ(walk.FullPath(), scratch / L"a.txt");
  EXPECT_FALSE(walk.IsFolder());
  EXPECT_FALSE(walk.Next());
  EXPECT_EQ(walk.error(), static_cast<DWORD>(ERROR_NO_MORE_FILES));

  FolderEnumerator none(scratch / L"*.none");
  EXPECT_FALSE(none.Next());
  EXPECT_EQ(none.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DeleteFolderTree, RemovesReadOnlyFilesAndFolders) {
  ScratchFolder scratch;
  const std::wstring top = scratch / L"top";
  ASSERT_EQ(CreateFolderTree(top + L"\\locked\\inner", true), 0u);
  for (const std::wstring& file : {top + L"\\ro.txt", top + L"\\locked\\inner\\ro.txt"}) {
    ASSERT_TRUE(WriteBytes(file, "x"));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  }
  SetFileAttributesW((top + L"\\locked").c_str(), FILE_ATTRIBUTE_READONLY);

  DeleteFolderTree(top);
  FolderEnumerator left(top + L"\\*");
  while (left.Next()) EXPECT_TRUE(left.Name() == L"." || left.Name() == L"..") << left.Name();
  EXPECT_TRUE(RemoveFolderLong(top));
}

TEST(DeleteFolderTree, EmptyPathTouchesNothing) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteBytes(scratch / L"keep.txt", "x"));
  {
    // "" + "*" would otherwise walk the current folder.
    CurrentFolder here(scratch.path());
    DeleteFolderTree(L"");
  }
  EXPECT_TRUE(PathExists(scratch / L"keep.txt"));
}

TEST(CreateFolderTree, CreatesAndListsExactlyTheMissingFolders) {
  ScratchFolder scratch;
  const std::wstring& s = scratch.path();
  struct Case {
    const char* what;
    std::wstring path;
    bool last_is_folder;
    Paths created;
  } cases[] = {
      {"file name last", s + L"\\a\\b\\file.txt", false, {s + L"\\a", s + L"\\a\\b"}},
      {"existing folder", s, true, {}},
      {"existing, trailing backslash", s + L"\\a\\", true, {}},
      {"trailing backslash means folder", s + L"\\t1\\t2\\", false, {s + L"\\t1", s + L"\\t1\\t2"}},
      {"forward slashes", s + L"/f1/f2", true, {s + L"\\f1", s + L"\\f1\\f2"}},
      {"doubled separators", s + L"\\\\g1\\\\g2", true, {s + L"\\g1", s + L"\\g1\\g2"}},
  };
  for (const Case& c : cases) {
    Paths created = {L"kept"};  // what was in the list before stays in front
    EXPECT_EQ(CreateFolderTree(c.path, c.last_is_folder, &created), 0u) << c.what;
    Paths expected = {L"kept"};
    expected.insert(expected.end(), c.created.begin(), c.created.end());
    EXPECT_EQ(created, expected) << c.what;
    for (size_t i = 1; i < created.size(); ++i) EXPECT_TRUE(IsFolderOnDisk(created[i])) << c.what;
  }
  EXPECT_EQ(GetFileInfo(s + L"\\a\\b\\file.txt", nullptr, nullptr),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CreateFolderTree, RelativeAndRootedPathsStartAtTheirOwnRoot) {
  ScratchFolder scratch;
  CurrentFolder here(scratch.path());
  Paths created;
  EXPECT_EQ(CreateFolderTree(L"only", true, &created), 0u);
  EXPECT_EQ(CreateFolderTree(L"r1\\r2", true, &created), 0u);
  // "\users\..." on the current drive, not "users\..." below the current folder.
  const std::wstring rooted = scratch.path().substr(2) + L"\\q1\\q2";
  EXPECT_EQ(CreateFolderTree(rooted, true, &created), 0u);
  EXPECT_EQ(created, (Paths{L"only", L"r1", L"r1\\r2", FolderOf(rooted), rooted}));
  EXPECT_TRUE(IsFolderOnDisk(scratch / L"q1\\q2"));
  EXPECT_FALSE(IsFolderOnDisk(scratch / L"users"));
}

TEST(CreateFolderTree, FailureUndoesOnlyWhatThisCallMade) {
  ScratchFolder scratch;
  // The level before the failing one was made by this call: it goes again.
  Paths created;
  EXPECT_EQ(CreateFolderTree(scratch / L"new\\bad*name\\x", true, &created),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(created, Paths{});
  EXPECT_FALSE(IsFolderOnDisk(scratch / L"new"));

  // The same failure below a folder that was there before leaves it alone.
  ASSERT_TRUE(CreateDirectoryW((scratch / L"pre").c_str(), nullptr));
  EXPECT_EQ(CreateFolderTree(scratch / L"pre\\bad*name\\x", true, &created),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(created, Paths{});
  EXPECT_TRUE(IsFolderOnDisk(scratch / L"pre"));
}

TEST(CreateFolderTree, PathWithoutComponentsIsABrokenInvariant) {
  EXPECT_THROW(CreateFolderTree(L"", true), Exception);
  EXPECT_THROW(CreateFolderTree(L"\\", true), Exception);
}

// A junction at link to target, or failing that a folder symbolic link;
// false when this Wine can make neither.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
  const DWORD kLinkAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  auto is_link = [&] {
    DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & kLinkAttributes) == kLinkAttributes;
  };
  if (CreateDirectoryW(link.c_str(), nullptr)) {
    UniqueFile handle(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    // The mount-point reparse buffer: tag, sizes, then both names with their terminators.
    const std::wstring names = L"\\??\\" + target + L'\0' + target + L'\0';
    const WORD substitute_bytes = static_cast<WORD>((target.size() + 4) * sizeof(wchar_t));
    const WORD print_bytes = static_cast<WORD>(target.size() * sizeof(wchar_t));
    const WORD names_bytes = static_cast<WORD>(names.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(16 + names_bytes);
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    WORD header[6] = {static_cast<WORD>(8 + names_bytes),
                      0,
                      0,
                      substitute_bytes,
                      static_cast<WORD>(substitute_bytes + sizeof(wchar_t)),
                      print_bytes};
    memcpy(buffer.data(), &tag, 4);
    memcpy(buffer.data() + 4, header, sizeof(header));
    memcpy(buffer.data() + 16, names.data(), names_bytes);
    DWORD returned = 0;
    if (handle &&
        DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr) &&
        is_link()) {
      return true;
    }
    handle.reset();
    RemoveDirectoryW(link.c_str());
  }
  using CreateLinkFn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  auto create_link = reinterpret_cast<CreateLinkFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
  // Some Wine versions report success without making anything: look on disk.
  return create_link && create_link(link.c_str(), target.c_str(), 1 /* directory */) && is_link();
}

TEST(DeleteFolderTree, RemovesLinksWithoutEmptyingTheirTargets) {
  ScratchFolder outside;
  const std::wstring target = outside / L"target";
  ASSERT_EQ(CreateFolderTree(target, true), 0u);
  ASSERT_TRUE(WriteBytes(target + L"\\keep.txt", "x"));
  ScratchFolder tree;
  if (!MakeFolderLink(tree / L"link", target)) GTEST_SKIP() << "this Wine makes no folder links";
  ASSERT_TRUE(PathExists(tree / L"link\\keep.txt"));  // the link leads to the target
  ASSERT_TRUE(MakeFolderLink(tree / L"top-link", target));

  DeleteFolderTree(tree / L"top-link");  // handed a link itself: nothing below goes
  EXPECT_TRUE(PathExists(target + L"\\keep.txt"));
  DeleteFolderTree(tree.path());
  EXPECT_TRUE(PathExists(target + L"\\keep.txt"));
  EXPECT_FALSE(PathExists(tree / L"link"));
  EXPECT_FALSE(PathExists(tree / L"top-link"));
}

TEST(GetTempFolder, EndsWithBackslashAndIsComputedOnce) {
  const std::wstring first = GetTempFolder();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), L'\\');
  EXPECT_TRUE(PathExists(first));
  EXPECT_FALSE(IsLocalSystem());
  wchar_t system_answer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, system_answer);
  EXPECT_EQ(first, system_answer);

  EnvironmentValue tmp(L"TMP", L"C:\\elsewhere");
  EnvironmentValue temp(L"TEMP", L"C:\\elsewhere");
  GetTempPathW(MAX_PATH + 1, system_answer);
  ASSERT_EQ(std::wstring(system_answer), L"C:\\elsewhere\\");
  EXPECT_EQ(GetTempFolder(), first);
}

TEST(GetModulePath, NamesThisTestProgram) {
  const std::wstring path = GetModulePath();
  EXPECT_TRUE(EqualsIgnoreCaseAscii(FileNameOf(path), L"unit_util.exe")) << path;
  EXPECT_TRUE(PathExists(path));
}

}  // namespace
