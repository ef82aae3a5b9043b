#include "download/url_file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(FileNameFromUrlTest, NameRules) {
  const struct {
    const wchar_t* url;
    const wchar_t* name;
  } cases[] = {
      {L"http://example.com/dl/setup.exe", L"setup.exe"},
      {L"http://example.com/dl/setup.exe?lang=en", L"setup.exe"},  // query dropped
      {L"https://example.com/a/b/vc_redist.x64.exe#frag", L"vc_redist.x64.exe#frag"},
      {L"ftp://user:pw@host/pub/file.msi", L"file.msi"},
      {L"\\\\server\\share\\dir\\pkg.msi", L"pkg.msi"},  // shares have no "://"
      {L"file:///C:/setups/tool.zip", L"tool.zip"},
      {L"http://host/download", L"download"},  // no extension: the last component
      {L"http://host/get?id=a.b", L"id=a.b"},  // only a separator ends a name
      // The last "." may sit in the host: the rule takes that name.
      {L"http://www.example.com/download", L"www.example.com"},
      // A redirector's target is not looked at; the name comes from before it.
      {L"http://mirror.org/go.cgi?to=http://real.org/file.exe", L"go.cgi"},
      {L"http://m/go?to=http://real.org/file.exe", L"to=http"},
      // At most 41 characters, counted back from the name's end.
      {L"http://h/0123456789012345678901234567890123456789.exe",
       L"3456789012345678901234567890123456789.exe"},
      {L"http://h/abcdefghijabcdefghijabcdefghijabcdefghijabcdefghij",
       L"jabcdefghijabcdefghijabcdefghijabcdefghij"},
      {L"0123456789012345678901234567890123456789012345.txt",
       L"9012345678901234567890123456789012345.txt"},  // no scheme at all
      {L"setup.exe", L"setup.exe"},
      {L"", L""},
      {L"http://", L""},
      {L"http://host/dir/", L"dir"},  // never a name ending in a separator
      {L"http://host//", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, FileNameFromUrl(c.url)) << c.url;
}

TEST(FileNameFromUrlTest, NameNeverHoldsASeparator) {
  for (const wchar_t* url :
       {L"http://a/b\"c<d>e|f*g.exe", L"http://a/x.y:z", L"a://://b", L"http://a/b.c/d?e",
        L"x?://y.z/w", L"http://host/?", L"http://a/x:://"}) {
    std::wstring name = FileNameFromUrl(url);
    EXPECT_EQ(std::wstring::npos, name.find_first_of(L"\\/:*?\"<>|")) << url << " -> " << name;
    EXPECT_LE(name.size(), 41u) << url;
  }
}

TEST(TargetPathTest, FolderValueAndFileName) {
  const struct {
    const wchar_t* download_folder;
    const wchar_t* url;
    const wchar_t* folder;
    const wchar_t* file_name;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\dl\\", L"http://h/a/any.bin", L"redist?vc.exe", L"", L"C:\\dl\\redist\\vc.exe"},
      {L"C:\\dl\\", L"http://h/dl/setup.exe?lang=en", L"", L"", L"C:\\dl\\setup.exe"},
      {L"C:\\dl", L"http://h/dl/setup.exe", L"", L"", L"C:\\dl\\setup.exe"},
      {L"C:\\dl\\", L"http://h/x.msi", L"sub\\deeper", L"", L"C:\\dl\\sub\\deeper\\x.msi"},
      {L"C:\\dl\\", L"http://h/x.msi", L"sub\\", L"", L"C:\\dl\\sub\\x.msi"},
      {L"C:\\dl\\", L"http://h/x.msi", L"?forced.msi", L"", L"C:\\dl\\forced.msi"},
      {L"C:\\dl\\", L"http://h/x.msi", L"sub?", L"", L"C:\\dl\\sub\\x.msi"},  // empty forced name
      {L"C:\\dl\\", L"http://h/x.msi", L"a?b?c", L"", L"C:\\dl\\a\\b?c"},     // first "?" splits
      {L"C:\\dl\\", L"http://h/x.msi", L"sub?vc.exe", L"given.exe", L"C:\\dl\\given.exe"},
      {L"C:\\dl", L"http://h/x.msi", L"", L"given.exe", L"C:\\dl\\given.exe"},
      {L"", L"http://h/x.msi", L"", L"", L"x.msi"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, TargetPath(c.download_folder, c.url, c.folder, c.file_name))
        << c.download_folder << " | " << c.url << " | " << c.folder << " | " << c.file_name;
  }
}

}  // namespace
