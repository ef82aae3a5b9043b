#include "detect/applicability.h"

#include <gtest/gtest.h>

namespace {
TEST(LanguageList, ItemsEndAtSemicolonsAndCompareLow16Bits) {
  struct Case {
    const wchar_t* list;
    uint16_t language;
    bool accepted;
  } cases[] = {
      {L"", 1033, true},           {L"1033;", 1033, true},
      {L"1033;", 1031, false},     {L"1033;1031;", 1031, true},
      {L"1033;1031", 1031, false},                   // text after the last ";" never matches
      {L"66569;", 1033, true},                       // 66569 = 0x10409: only the low 16 bits count
      {L"abc;1031;", 1031, true},  {L";", 0, true},  // an empty item reads as 0
      {L" 1033;", 1033, false},                      // a leading blank ends the number at once
      {L"1033x;", 1033, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageListAccepts(c.list, c.language), c.accepted) << c.list << " " << c.language;
  }
}

TEST(ProcessorRules, LettersExcludeByNativeMachine) {
  struct Case {
    const wchar_t* options;
    NativeMachine machine;
    bool excluded;
  } cases[] = {
      {L"c", NativeMachine::Arm64, true},        {L"c", NativeMachine::Other, false},
      {L"c", NativeMachine::NoApi, false},       {L"d", NativeMachine::Arm64, false},
      {L"d", NativeMachine::Other, true},        {L"d", NativeMachine::NoApi, true},
      {L"cd", NativeMachine::CallFailed, false}, {L"", NativeMachine::Arm64, false},
      {L"C", NativeMachine::Arm64, false},       {L"mD", NativeMachine::Other, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProcessorRulesExclude(c.options, c.machine), c.excluded)
        << c.options << " " << static_cast<int>(c.machine);
  }
}
}  // namespace
