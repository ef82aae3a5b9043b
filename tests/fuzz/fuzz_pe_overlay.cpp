// The PE headers of the executable, read to find where the bundle starts and
// where a signature's certificate table begins.
#include "archive/pe_overlay.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OverlaySpan span;
  const size_t head = size < kPeHeaderReadSize ? size : kPeHeaderReadSize;
  if (FindOverlay(data, head, size, &span)) {
    FUZZ_CHECK(span.start <= span.end && span.end <= size);
  }
  // The chainer reads the headers of a file that may be larger than the bytes read.
  FindOverlay(data, head, uint64_t(size) * 4096, &span);
  return 0;
}
