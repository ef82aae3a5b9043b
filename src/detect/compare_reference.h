// The value test of registry searches that compare text (RefContent). Pure.
#pragma once
#include <string>

// ref_content is a comparison letter followed by the reference text; all
// comparisons are case-sensitive:
//   C value contains the reference (never for an empty reference)
//   D value differs            E value ends with it      M value equals it
//   S value begins with it     X value does not contain it (true for an empty one)
//   G / L both texts are decimal digits only (empty counts as 0) and the
//         value's number is greater / less
// Any other letter, or an empty ref_content, gives false.
bool CompareReference(const std::wstring& value, const std::wstring& ref_content);
