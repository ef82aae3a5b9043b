#include "core/ini_document.h"

#include <gtest/gtest.h>

namespace {
std::wstring Value(const IniDocument& doc, const wchar_t* section, const wchar_t* key) {
  std::wstring value = L"<missing>";
  doc.GetValue(section, key, &value);
  return value;
}

TEST(IniDocumentParse, LinesEndOnlyAtCrLf) {
  IniDocument doc;
  doc.Parse(L"[A]\nx=1\n[B]\ny=2");  // LF alone does not end a line: one header-less line
  EXPECT_TRUE(doc.sections().empty());

  doc.Parse(L"[A]\r\nx=1\rstill\r\n");  // a lone CR stays inside the value
  EXPECT_EQ(Value(doc, L"A", L"x"), L"1\rstill");
}

TEST(IniDocumentParse, EmptyTextAndTrailingSeparatorGiveNoExtraLines) {
  IniDocument doc;
  doc.Parse(L"");
  EXPECT_TRUE(doc.sections().empty());
  doc.Parse(L"[A]\r\n");
  ASSERT_EQ(doc.sections().size(), 1u);
  EXPECT_TRUE(doc.sections()[0].entries.empty());
}

TEST(IniDocumentParse, HeadersKeepInnerBlanksAndAllowOuterOnes) {
  IniDocument doc;
  doc.Parse(L"  [App1]  \r\nk=v\r\n[ App2 ]\r\nk=w\r\n\t[App3]\r\nk=z");
  std::vector<std::wstring> names;
  doc.GetSectionNames(&names);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"App1", L" App2 ", L"App3"}));
  EXPECT_EQ(Value(doc, L"App1", L"k"), L"v");
  EXPECT_EQ(Value(doc, L"App2", L"k"), L"<missing>");
}

TEST(IniDocumentParse, HeaderTakesTextBetweenFirstOpenAndLastClose) {
  IniDocument doc;
  doc.Parse(L"[a]b[c]\r\nk=v");
  ASSERT_EQ(doc.sections().size(), 1u);
  EXPECT_EQ(doc.sections()[0].name, L"a]b[c");
}

TEST(IniDocumentParse, EntriesSplitAtFirstEqualsAndTrim) {
  IniDocument doc;
  doc.Parse(L"[S]\r\n  Key = a=b  \r\n\tTab\t=\tx\t\r\n=empty key\r\nno equals here\r\n");
  EXPECT_EQ(Value(doc, L"S", L"Key"), L"a=b");
  EXPECT_EQ(Value(doc, L"S", L"Tab"), L"x");
  EXPECT_EQ(Value(doc, L"S", L""), L"empty key");
  EXPECT_EQ(doc.sections()[0].entries.size(), 3u);
}

TEST(IniDocumentParse, UnclosedBracketLineIsAnEntry) {
  IniDocument doc;
  doc.Parse(L"[S]\r\n[Key=value\r\n");
  EXPECT_EQ(Value(doc, L"S", L"[Key"), L"value");
}

TEST(IniDocumentParse, LinesBeforeFirstHeaderAreIgnored) {
  IniDocument doc;
  doc.Parse(L"a=b\r\n[S]\r\nc=d");
  ASSERT_EQ(doc.sections().size(), 1u);
  EXPECT_EQ(doc.sections()[0].entries.size(), 1u);
}

TEST(IniDocumentParse, LeadingByteOrderMarkIsDroppedOnce) {
  IniDocument doc;
  doc.Parse(L"\xFEFF[S]\r\nk=v");
  EXPECT_EQ(Value(doc, L"S", L"k"), L"v");
  doc.Parse(L"\xFEFF\xFEFF[S]\r\nk=v");  // a second mark stays and spoils the header
  EXPECT_EQ(Value(doc, L"S", L"k"), L"<missing>");
}

TEST(IniDocumentParse, NamesAreCaseSensitiveAndFirstDuplicateWins) {
  IniDocument doc;
  doc.Parse(L"[S]\r\nk=1\r\nk=2\r\nK=3\r\n[S]\r\nk=4\r\nonly=5\r\n[s]\r\nk=6");
  EXPECT_EQ(Value(doc, L"S", L"k"), L"1");
  EXPECT_EQ(Value(doc, L"S", L"K"), L"3");
  EXPECT_EQ(Value(doc, L"S", L"only"), L"<missing>");  // lookups use the first section only
  EXPECT_EQ(Value(doc, L"s", L"k"), L"6");
  EXPECT_EQ(doc.sections().size(), 3u);
}

TEST(IniDocumentParse, ParseReplacesEarlierContent) {
  IniDocument doc;
  doc.Parse(L"[A]\r\nk=v");
  doc.Parse(L"[B]\r\nk=w");
  std::vector<std::wstring> names{L"stale"};
  doc.GetSectionNames(&names);
  EXPECT_EQ(names, std::vector<std::wstring>{L"B"});
}

TEST(IniDocumentSlots, SetValueAppendsWithoutReplacing) {
  IniDocument doc;
  doc.SetValue(L"S", L"k", L"1");
  doc.SetValue(L"S", L"k", L"2");
  doc.SetValue(L"T", L"k", L"3");
  EXPECT_EQ(Value(doc, L"S", L"k"), L"1");
  EXPECT_EQ(doc.sections()[0].entries.size(), 2u);
  EXPECT_EQ(Value(doc, L"T", L"k"), L"3");
  int32_t status = 7;
  EXPECT_TRUE(doc.GetStatus(&status));
  EXPECT_EQ(status, 0);
}
}  // namespace
