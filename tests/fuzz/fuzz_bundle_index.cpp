// The bundle index at the start of the overlay: header, then the index with
// its archives and entries; what reads well must write back the same.
#include "archive/bundle_index.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t index_size = 0, index_crc = 0;
  if (ParseBundleHeader(data, size, &index_size, &index_crc) != IndexStatus::Ok) return 0;
  // The CRC is not asked for, so that the fuzzer reaches the index itself.
  if (index_size > size - kBundleHeaderSize) return 0;
  BundleIndex index;
  const uint8_t* bytes = data + kBundleHeaderSize;
  if (ParseBundleIndex(bytes, index_size, size, &index) != IndexStatus::Ok) return 0;
  const std::vector<uint8_t> written = SerializeBundle(index);
  FUZZ_CHECK(written.size() == BundleIndexSize(index));
  BundleIndex again;
  FUZZ_CHECK(ParseBundleIndex(written.data() + kBundleHeaderSize,
                              written.size() - kBundleHeaderSize, size, &again) == IndexStatus::Ok);
  FUZZ_CHECK(again.archives.size() == index.archives.size());
  FUZZ_CHECK(again.entries.size() == index.entries.size());
  for (size_t i = 0; i < index.entries.size(); ++i) {
    FUZZ_CHECK(again.entries[i].name == index.entries[i].name);
  }
  return 0;
}
