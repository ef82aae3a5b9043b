// The reference scanner of configured paths and command lines, with a
// resolver that answers some names and not others.
#include "fuzz_input.h"
#include "util/folder_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> fields = Fields(data, size);
  const std::wstring text = FieldAt(fields, 0);
  const std::wstring answer = FieldAt(fields, 1);
  const std::wstring expanded = ExpandReferences(
      text, [&](ReferenceKind kind, const std::wstring& name, std::wstring* value) {
        if (name.size() % 3 == static_cast<size_t>(kind)) return false;
        *value = answer;
        return true;
      });
  // Without references the text comes back unchanged.
  if (text.find_first_of(L"[%!") == std::wstring::npos) FUZZ_CHECK(expanded == text);
  ExpandReferences(text, nullptr);
  return 0;
}
