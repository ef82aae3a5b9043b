#include "detect/search_evaluation.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// Searches whose search string says whether they are found ("y") or not.
struct Scripted {
  std::wstring ran;
  SearchResult operator()(const SearchEntry& search) {
    ran += search.search_string;
    SearchResult result;
    result.found = search.search_string == L"y";
    result.values.push_back(search.search_string);
    return result;
  }
};

std::vector<SearchEntry> Searches(const std::wstring& pattern) {
  std::vector<SearchEntry> searches;
  for (wchar_t c : pattern) {
    SearchEntry entry;
    entry.search_string = std::wstring(1, c);
    searches.push_back(entry);
  }
  return searches;
}

TEST(EvaluateSearchList, OperatorsCombineAndStopEarly) {
  struct Case {
    const wchar_t* pattern;
    int32_t op;
    bool verdict;
    const wchar_t* ran;
  } cases[] = {
      {L"", 0, true, L""},       {L"", 1, false, L""},      {L"yy", 0, true, L"yy"},
      {L"yny", 0, false, L"yn"}, {L"nny", 1, true, L"nny"}, {L"nyn", 1, true, L"ny"},
      {L"nn", 1, false, L"nn"},  {L"yy", 2, false, L"yy"},  {L"yy", -1, false, L"yy"},
  };
  for (const Case& c : cases) {
    Scripted script;
    std::vector<SearchResult> results(5);  // stale results must go
    bool verdict = EvaluateSearchList(
        Searches(c.pattern), c.op, [&](const SearchEntry& s) { return script(s); }, &results);
    EXPECT_EQ(verdict, c.verdict) << c.pattern << " op " << c.op;
    EXPECT_EQ(script.ran, c.ran) << c.pattern << " op " << c.op;
    ASSERT_EQ(results.size(), script.ran.size());
    for (size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i].found, script.ran[i] == L'y');
      EXPECT_EQ(results[i].values, std::vector<std::wstring>{std::wstring(1, script.ran[i])});
    }
  }
}
}  // namespace
