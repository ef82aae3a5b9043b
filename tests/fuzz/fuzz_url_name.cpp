// The file name taken from a download URL and the local path built from it
// and the configured folder values.
#include "download/url_file_name.h"
#include "fuzz_input.h"
#include "util/path_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> fields = Fields(data, size);
  const std::wstring url = FieldAt(fields, 0);
  const std::wstring name = FileNameFromUrl(url);
  FUZZ_CHECK(name.size() <= 41);
  for (wchar_t c : name) FUZZ_CHECK(!IsReservedNameCharacter(c));
  TargetPath(FieldAt(fields, 1), url, FieldAt(fields, 2), FieldAt(fields, 3));
  return 0;
}
