// Where the bundle sits in the executable: after the PE image (the end of the
// last section's raw data) and before the certificate table that signing
// appends, so that a bundle can be signed after it was made.
#pragma once
#include <cstddef>
#include <cstdint>

struct OverlaySpan {
  uint64_t start = 0;  // first byte after the image
  uint64_t end = 0;    // the certificate table's offset, or the file size
  bool signed_file = false;
  uint32_t certificate_size = 0;  // the certificate table's bytes from end
};

// Bytes of the file start that FindOverlay needs at most (headers and section
// table of any image the linker makes).
constexpr size_t kPeHeaderReadSize = 64 * 1024;

// Reads the DOS and PE headers in data (the first bytes of a file of
// file_size bytes). False when they are not a PE image or point outside the
// file; an image without overlay gives start == end.
bool FindOverlay(const uint8_t* data, size_t size, uint64_t file_size, OverlaySpan* span);
