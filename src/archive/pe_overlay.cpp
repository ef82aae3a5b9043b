#include "archive/pe_overlay.h"

namespace {
uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
constexpr size_t kSectionHeaderSize = 40;
}  // namespace

bool FindOverlay(const uint8_t* data, size_t size, uint64_t file_size, OverlaySpan* span) {
  *span = OverlaySpan();
  if (size > file_size) size = static_cast<size_t>(file_size);
  if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return false;
  const uint32_t pe = Le32(data + 0x3C);
  if (pe > size || size - pe < 24 || Le32(data + pe) != 0x00004550) return false;
  const uint16_t sections = Le16(data + pe + 6);
  const uint16_t optional_size = Le16(data + pe + 20);
  const size_t optional = pe + 24;
  if (size - optional < optional_size || optional_size < 2) return false;
  const uint16_t magic = Le16(data + optional);
  // Offset of NumberOfRvaAndSizes; the directories follow it.
  const size_t count_offset = magic == kPe32Magic ? 92 : magic == kPe32PlusMagic ? 108 : 0;
  if (count_offset == 0 || optional_size < count_offset + 4) return false;
  const uint32_t directories = Le32(data + optional + count_offset);
  uint32_t cert_offset = 0, cert_size = 0;
  const size_t security = optional + count_offset + 4 + kSecurityDirectory * 8;
  if (directories > kSecurityDirectory && security + 8 <= optional + optional_size) {
    // The one directory whose "address" is a file offset, not an RVA.
    cert_offset = Le32(data + security);
    cert_size = Le32(data + security + 4);
  }
  const size_t table = optional + optional_size;
  if (sections == 0 || (size - table) / kSectionHeaderSize < sections) return false;
  uint64_t image_end = 0;
  for (uint16_t i = 0; i < sections; ++i) {
    const uint8_t* header = data + table + i * kSectionHeaderSize;
    const uint64_t raw_size = Le32(header + 16);
    const uint64_t raw_offset = Le32(header + 20);
    if (raw_size == 0) continue;
    if (raw_offset + raw_size > image_end) image_end = raw_offset + raw_size;
  }
  if (image_end > file_size) return false;
  span->start = image_end;
  span->end = file_size;
  if (cert_offset != 0 && cert_size != 0) {
    if (cert_offset < image_end || cert_offset > file_size || cert_size > file_size - cert_offset) {
      return false;
    }
    span->end = cert_offset;
    span->signed_file = true;
    span->certificate_size = cert_size;
  }
  return true;
}
