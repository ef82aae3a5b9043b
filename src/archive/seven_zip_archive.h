// One 7z archive read through the LZMA SDK: its file list from the headers,
// and any file streamed out through the coder chain with its CRC checked.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "archive/byte_source.h"
#include "archive/coder_chain.h"

extern "C" {
#include "7z.h"
#include "7zTypes.h"
}

class SevenZipArchive {
 public:
  SevenZipArchive();
  ~SevenZipArchive();
  SevenZipArchive(const SevenZipArchive&) = delete;
  SevenZipArchive& operator=(const SevenZipArchive&) = delete;

  // Reads the headers of the archive that fills source (kept by reference
  // until destruction). Ok, ReadError, DataError/CrcError for damaged
  // headers, Unsupported for what the SDK cannot read (encrypted headers).
  DecodeStatus Open(IByteSource& source);

  uint32_t FileCount() const { return db_.NumFiles; }
  std::wstring FileName(uint32_t file) const;
  bool IsFolder(uint32_t file) const { return SzArEx_IsDir(&db_, file); }
  uint64_t FileSize(uint32_t file) const { return SzArEx_GetFileSize(&db_, file); }
  // Whether the file's coders are ones the chain can run.
  bool IsSupported(uint32_t file) const;
  // Index of the file with that exact name, or -1.
  int32_t Find(const std::wstring& name) const;

  // Streams the file's bytes to consume in pieces; a false return stops the
  // work with WriteError. The CRC is checked at the end (CrcError).
  DecodeStatus Extract(uint32_t file, const std::wstring& password,
                       const std::function<bool(const uint8_t*, size_t)>& consume);

 private:
  static SRes SeekRead(ISeekInStreamPtr p, void* buf, size_t* size);
  static SRes SeekSeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin);
  struct SeekAdapter {
    ISeekInStream vt;
    SevenZipArchive* owner;
  };

  IByteSource* source_ = nullptr;
  uint64_t position_ = 0;
  bool read_failed_ = false;
  SeekAdapter adapter_;
  CLookToRead2 look_;
  CSzArEx db_;
  bool open_ = false;
};

// Prepares the SDK's CRC tables; SevenZipArchive calls it itself.
void PrepareCrcTables();
