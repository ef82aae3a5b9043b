// Streaming decoder of one 7z folder: the packed stream read piece by piece
// through its chain of coders (AES-256, LZMA or LZMA2, BCJ x86, copy), so that
// memory stays bounded by the coders' buffers and the LZMA dictionary whatever
// the folder's size. The SDK's own folder decoder would hold the whole folder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/byte_source.h"

extern "C" {
#include "7z.h"
}

// malloc and free for the SDK's allocation callbacks.
extern const ISzAlloc kSdkAlloc;

enum class DecodeStatus {
  Ok,
  ReadError,    // the source could not be read (or ended early)
  DataError,    // corrupt stream, or a wrong password
  CrcError,     // decoded bytes differ from the stored CRC
  Unsupported,  // a method or folder shape this decoder does not handle
  NoMemory,
  WriteError,  // the consumer refused the bytes
  Canceled,
};

class DecodeStage {
 public:
  virtual ~DecodeStage() = default;
  // Fills up to capacity bytes; *produced == 0 with Ok means the end.
  virtual DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) = 0;
};

// The largest LZMA or LZMA2 dictionary the chain allocates. The chainer ships
// as a 32-bit program, where a bigger block rarely fits the address space;
// 7-Zip's presets write at most 64 MiB and the bundling tool 16 MiB. One
// bound for every build, so that the tool refuses what the chainer would.
constexpr uint32_t kMaxDictionarySize = uint32_t(256) << 20;

// Whether every coder of the folder is one the chain can run, with
// properties it accepts (dictionary, AES rounds).
bool IsSupportedFolder(const CSzArEx& db, uint32_t folder);

// The stage whose output is the folder's unpacked stream. source holds the
// whole 7z archive; password is used by AES coders only.
DecodeStatus OpenFolderStream(const CSzArEx& db, uint32_t folder, IByteSource& source,
                              const std::wstring& password, std::unique_ptr<DecodeStage>* out);
