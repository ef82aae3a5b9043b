#include "util/path_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// start followed by "xxxxxxxxx\" segments, cut to exactly length characters.
std::wstring PathOfLength(const std::wstring& start, size_t length) {
  std::wstring path = start;
  while (path.size() < length) path += (path.size() % 10 == 9) ? L'\\' : L'x';
  path.resize(length);
  return path;
}

std::vector<std::wstring> Split(const std::wstring& path) {
  std::vector<std::wstring> parts;
  SplitPath(path, &parts);
  return parts;
}

TEST(ToLongPath, PrefixesFrom248CharactersOnAbsolutePathsOnly) {
  const std::wstring drive247 = PathOfLength(L"C:\\", 247);
  const std::wstring drive248 = PathOfLength(L"C:\\", 248);
  const std::wstring unc247 = PathOfLength(L"\\\\server\\share\\", 247);
  const std::wstring unc248 = PathOfLength(L"\\\\server\\share\\", 248);
  const std::wstring relative = PathOfLength(L"folder\\", 400);
  const std::wstring rooted = PathOfLength(L"\\folder\\", 400);
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {drive247, drive247}, {drive248, L"\\\\?\\" + drive248},
      {unc247, unc247},     {unc248, L"\\\\?\\UNC\\" + unc248.substr(2)},
      {relative, relative}, {rooted, rooted},
      {L"", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToLongPath(c.in), c.out) << c.in.size() << L" " << c.in.substr(0, 20);
  }
}

TEST(ToLongPath, NeverPrefixesTwice) {
  const std::wstring local = PathOfLength(L"\\\\?\\C:\\", 300);
  const std::wstring unc = PathOfLength(L"\\\\?\\UNC\\server\\share\\", 300);
  EXPECT_EQ(ToLongPath(local), local);
  EXPECT_EQ(ToLongPath(unc), unc);
  // Applying it to its own result changes nothing either.
  const std::wstring once = ToLongPath(PathOfLength(L"\\\\server\\s\\", 260));
  EXPECT_EQ(ToLongPath(once), once);
}

TEST(FromLongPath, UndoesBothLongForms) {
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {L"\\\\?\\UNC\\server\\share\\x", L"\\\\server\\share\\x"},
      {L"\\\\?\\C:\\a\\b", L"C:\\a\\b"},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"C:\\a", L"C:\\a"},
      {L"relative", L"relative"},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(FromLongPath(c.in), c.out) << c.in;
}

TEST(FromLongPath, RoundTripsWhatToLongPathMade) {
  for (const std::wstring& path :
       {PathOfLength(L"C:\\", 300), PathOfLength(L"\\\\server\\share\\", 300)}) {
    const std::wstring long_form = ToLongPath(path);
    ASSERT_NE(long_form, path);
    EXPECT_EQ(FromLongPath(long_form), path);
  }
  EXPECT_EQ(ToLongPath(PathOfLength(L"\\\\server\\share\\", 300)).substr(0, 22),
            L"\\\\?\\UNC\\server\\share\\x");
}

TEST(NormalizeSlashes, ReplacesInPlaceAndCounts) {
  std::wstring path = L"C:/a\\b//c/";
  EXPECT_EQ(NormalizeSlashes(&path), 4);
  EXPECT_EQ(path, L"C:\\a\\b\\\\c\\");
  EXPECT_EQ(NormalizeSlashes(&path), 0);
  std::wstring empty;
  EXPECT_EQ(NormalizeSlashes(&empty), 0);
}

TEST(SplitPath, Shapes) {
  using Parts = std::vector<std::wstring>;
  struct Case {
    std::wstring in;
    Parts out;
  } cases[] = {
      {L"C:\\a\\b\\file.txt", {L"C:", L"a", L"b", L"file.txt"}},
      {L"C:\\", {L"C:"}},
      {L"C:\\a\\\\b\\", {L"C:", L"a", L"b"}},  // empty components are dropped
      {L"\\\\server\\share\\dir", {L"\\\\server", L"share", L"dir"}},
      {L"\\\\server", {L"\\\\server"}},
      {L"\\\\?\\C:\\a\\b", {L"\\\\?\\C:", L"a", L"b"}},
      {L"\\\\?\\UNC\\server\\share\\x", {L"\\\\?\\UNC\\server", L"share", L"x"}},
      {L"relative\\dir", {L"relative", L"dir"}},
      {L"\\rooted\\dir", {L"rooted", L"dir"}},
      {L"name", {L"name"}},
      {L"", {}},
      {L"\\", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.in), c.out) << c.in;
}

TEST(SplitPath, AppendsToWhatIsThere) {
  std::vector<std::wstring> parts = {L"kept"};
  SplitPath(L"C:\\a", &parts);
  EXPECT_EQ(parts, (std::vector<std::wstring>{L"kept", L"C:", L"a"}));
}

TEST(PathPieces, FolderFileNameAndTrailingBackslash) {
  EXPECT_EQ(FolderOf(L"C:\\a\\b.txt"), L"C:\\a");
  EXPECT_EQ(FolderOf(L"C:\\a\\"), L"C:\\a");
  EXPECT_EQ(FolderOf(L"b.txt"), L"");
  EXPECT_EQ(FileNameOf(L"C:\\a\\b.txt"), L"b.txt");
  EXPECT_EQ(FileNameOf(L"b.txt"), L"b.txt");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\a"), L"C:\\a\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(WithTrailingBackslash(L""), L"");
}

}  // namespace
