// The bundle's own index, which travels at the start of the executable's
// overlay: the 7z archives it carries and the entries they hold. Reading and
// writing are pure byte work, shared by the chainer and the bundling tool;
// FORMAT.md describes the layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_source.h"

// What an entry is for; the chainer extracts the two kinds in separate groups.
enum class EntryKind : uint8_t {
  SetupFile = 0,     // setup of a prerequisite installed from the package
  SearchHelper = 1,  // program run by a type-10 (command) search
};

struct BundledArchive {
  uint64_t offset = 0;    // from the start of the overlay
  uint64_t size = 0;      // bytes of the 7z archive
  std::wstring password;  // empty: not encrypted
};

struct BundledEntry {
  std::wstring name;  // plain file name, also its name inside the 7z archive
  EntryKind kind = EntryKind::SetupFile;
  uint32_t archive = 0;  // index into BundleIndex::archives
};

struct BundleIndex {
  std::vector<BundledArchive> archives;
  std::vector<BundledEntry> entries;
};

// "CVBUNDL1": the first eight bytes of the overlay.
extern const uint8_t kBundleMagic[8];
// Magic, index size and index CRC.
constexpr size_t kBundleHeaderSize = 16;
// An index larger than this is taken as damage, not read.
constexpr uint32_t kMaxIndexSize = 1u << 20;

enum class IndexStatus {
  Ok,
  NoBundle,  // the overlay does not start with the magic
  Damaged,   // wrong CRC, truncated, counts or offsets out of range, unsafe names
};

// Reads the 16-byte header: the size of the index that follows and its CRC.
IndexStatus ParseBundleHeader(const uint8_t* data, size_t size, uint32_t* index_size,
                              uint32_t* index_crc);
// Decodes an index whose bytes passed the CRC check. overlay_size bounds the
// archives. Entry names must pass IsSafeEntryName and be unique (ignoring ASCII
// case); an entry must name an existing archive.
IndexStatus ParseBundleIndex(const uint8_t* data, size_t size, uint64_t overlay_size,
                             BundleIndex* out);
// Reads the header and the index at the start of overlay (the bytes after
// the executable's image). The index size is checked against the overlay
// before anything is allocated for it. NoBundle when the overlay does not
// start with a header or it cannot be read, Damaged as ParseBundleIndex.
IndexStatus ReadBundleIndex(IByteSource& overlay, BundleIndex* out);
// The header followed by the encoded index. The archives' offsets must already
// account for these bytes (see BundleIndexSize).
std::vector<uint8_t> SerializeBundle(const BundleIndex& index);
// Bytes SerializeBundle produces for index, so that the writer can place the
// archives right after it.
size_t BundleIndexSize(const BundleIndex& index);

// The CRC-32 of zip and 7z (reflected, polynomial 0xEDB88320).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// UTF-16LE bytes of a wide string and back (wchar_t is 32-bit on Linux).
std::vector<uint16_t> ToUtf16(const std::wstring& text);
std::wstring FromUtf16(const uint16_t* units, size_t count);
