#include "archive/bundle_index.h"

#include "archive/entry_name.h"

const uint8_t kBundleMagic[8] = {'C', 'V', 'B', 'U', 'N', 'D', 'L', '1'};

namespace {
constexpr uint32_t kIndexVersion = 1;
constexpr uint32_t kMaxArchives = 64;
constexpr uint32_t kMaxEntries = 4096;

class Writer {
 public:
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) { Le(v, 2); }
  void U32(uint32_t v) { Le(v, 4); }
  void U64(uint64_t v) { Le(v, 8); }
  void Text(const std::wstring& text) {
    const std::vector<uint16_t> units = ToUtf16(text);
    U16(static_cast<uint16_t>(units.size()));
    for (uint16_t unit : units) U16(unit);
  }
  std::vector<uint8_t> bytes;

 private:
  void Le(uint64_t v, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
};

// Every read checks the remaining length, so a truncated index fails cleanly.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool U8(uint8_t* v) { return Le(v, 1); }
  bool U16(uint16_t* v) { return Le(v, 2); }
  bool U32(uint32_t* v) { return Le(v, 4); }
  bool U64(uint64_t* v) { return Le(v, 8); }
  bool Text(std::wstring* text, size_t max_units) {
    uint16_t count = 0;
    if (!U16(&count) || count > max_units || size_ - pos_ < count * 2u) return false;
    std::vector<uint16_t> units(count);
    for (uint16_t& unit : units) U16(&unit);
    *text = FromUtf16(units.data(), units.size());
    return true;
  }
  bool AtEnd() const { return pos_ == size_; }

 private:
  template <typename T>
  bool Le(T* v, size_t count) {
    if (size_ - pos_ < count) return false;
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += count;
    *v = static_cast<T>(value);
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

wchar_t FoldAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::vector<uint8_t> EncodeIndex(const BundleIndex& index) {
  Writer w;
  w.U32(kIndexVersion);
  w.U32(static_cast<uint32_t>(index.archives.size()));
  for (const BundledArchive& archive : index.archives) {
    w.U64(archive.offset);
    w.U64(archive.size);
    w.Text(archive.password);
  }
  w.U32(static_cast<uint32_t>(index.entries.size()));
  for (const BundledEntry& entry : index.entries) {
    w.U8(static_cast<uint8_t>(entry.kind));
    w.U32(entry.archive);
    w.Text(entry.name);
  }
  return w.bytes;
}
}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  struct Table {
    Table() {
      for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1)));
        values[i] = r;
      }
    }
    uint32_t values[256];
  };
  static const Table table;
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table.values[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::vector<uint16_t> ToUtf16(const std::wstring& text) {
  std::vector<uint16_t> units;
  for (wchar_t c : text) {
    const uint32_t code = static_cast<uint32_t>(c);
    if (code > 0xFFFF) {
      units.push_back(static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<uint16_t>(code));
    }
  }
  return units;
}

std::wstring FromUtf16(const uint16_t* units, size_t count) {
  std::wstring text;
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = units[i];
    if (sizeof(wchar_t) == 4 && code >= 0xD800 && code < 0xDC00 && i + 1 < count &&
        units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    text.push_back(static_cast<wchar_t>(code));
  }
  return text;
}

IndexStatus ParseBundleHeader(const uint8_t* data, size_t size, uint32_t* index_size,
                              uint32_t* index_crc) {
  if (size < kBundleHeaderSize) return IndexStatus::NoBundle;
  for (size_t i = 0; i < sizeof(kBundleMagic); ++i) {
    if (data[i] != kBundleMagic[i]) return IndexStatus::NoBundle;
  }
  Reader r(data + 8, 8);
  r.U32(index_size);
  r.U32(index_crc);
  return *index_size > kMaxIndexSize ? IndexStatus::Damaged : IndexStatus::Ok;
}

IndexStatus ParseBundleIndex(const uint8_t* data, size_t size, uint64_t overlay_size,
                             BundleIndex* out) {
  *out = BundleIndex();
  Reader r(data, size);
  uint32_t version = 0, archive_count = 0, entry_count = 0;
  if (!r.U32(&version) || version != kIndexVersion) return IndexStatus::Damaged;
  if (!r.U32(&archive_count) || archive_count > kMaxArchives) return IndexStatus::Damaged;
  for (uint32_t i = 0; i < archive_count; ++i) {
    BundledArchive archive;
    if (!r.U64(&archive.offset) || !r.U64(&archive.size) || !r.Text(&archive.password, 1024)) {
      return IndexStatus::Damaged;
    }
    if (archive.offset > overlay_size || archive.size > overlay_size - archive.offset) {
      return IndexStatus::Damaged;
    }
    out->archives.push_back(archive);
  }
  if (!r.U32(&entry_count) || entry_count > kMaxEntries) return IndexStatus::Damaged;
  for (uint32_t i = 0; i < entry_count; ++i) {
    BundledEntry entry;
    uint8_t kind = 0;
    if (!r.U8(&kind) || !r.U32(&entry.archive) || !r.Text(&entry.name, kMaxEntryNameLength)) {
      return IndexStatus::Damaged;
    }
    if (kind > static_cast<uint8_t>(EntryKind::SearchHelper)) return IndexStatus::Damaged;
    entry.kind = static_cast<EntryKind>(kind);
    if (entry.archive >= archive_count || !IsSafeEntryName(entry.name)) {
      return IndexStatus::Damaged;
    }
    for (const BundledEntry& earlier : out->entries) {
      if (SameName(earlier.name, entry.name)) return IndexStatus::Damaged;
    }
    out->entries.push_back(entry);
  }
  return r.AtEnd() ? IndexStatus::Ok : IndexStatus::Damaged;
}

IndexStatus ReadBundleIndex(IByteSource& overlay, BundleIndex* out) {
  *out = BundleIndex();
  uint8_t header[kBundleHeaderSize];
  uint32_t index_size = 0, index_crc = 0;
  // An executable without anything after its image simply carries nothing.
  if (overlay.Size() < kBundleHeaderSize || !overlay.ReadAt(0, header, sizeof(header))) {
    return IndexStatus::NoBundle;
  }
  const IndexStatus status = ParseBundleHeader(header, sizeof(header), &index_size, &index_crc);
  if (status != IndexStatus::Ok) return status;
  // Checked before the buffer exists: a damaged size must not cost memory,
  // let alone end the process with an allocation failure.
  if (index_size > overlay.Size() - kBundleHeaderSize) return IndexStatus::Damaged;
  std::vector<uint8_t> bytes(index_size);
  if (!overlay.ReadAt(kBundleHeaderSize, bytes.data(), bytes.size()) ||
      Crc32(bytes.data(), bytes.size()) != index_crc) {
    return IndexStatus::Damaged;
  }
  const IndexStatus parsed = ParseBundleIndex(bytes.data(), bytes.size(), overlay.Size(), out);
  if (parsed != IndexStatus::Ok) *out = BundleIndex();
  return parsed;
}

size_t BundleIndexSize(const BundleIndex& index) {
  return kBundleHeaderSize + EncodeIndex(index).size();
}

std::vector<uint8_t> SerializeBundle(const BundleIndex& index) {
  const std::vector<uint8_t> body = EncodeIndex(index);
  Writer header;
  for (uint8_t b : kBundleMagic) header.U8(b);
  header.U32(static_cast<uint32_t>(body.size()));
  header.U32(Crc32(body.data(), body.size()));
  header.bytes.insert(header.bytes.end(), body.begin(), body.end());
  return header.bytes;
}
