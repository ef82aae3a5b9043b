#include "archive/seven_zip_archive.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/bundle_index.h"
#include "archive/byte_buffer.h"

extern "C" {
#include "7zCrc.h"
}

namespace {
constexpr size_t kLookBufferSize = 1 << 16;
constexpr size_t kExtractChunk = 1 << 20;

void* SdkAlloc(ISzAllocPtr, size_t size) {
  return size == 0 ? nullptr : std::malloc(size);
}
void SdkFree(ISzAllocPtr, void* address) {
  std::free(address);
}
}  // namespace

const ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

void PrepareCrcTables() {
  struct Once {
    Once() { CrcGenerateTable(); }
  };
  static Once once;
}

SevenZipArchive::SevenZipArchive() {
  PrepareCrcTables();
  adapter_.vt.Read = &SeekRead;
  adapter_.vt.Seek = &SeekSeek;
  adapter_.owner = this;
  std::memset(&look_, 0, sizeof(look_));
  SzArEx_Init(&db_);
}

SevenZipArchive::~SevenZipArchive() {
  SzArEx_Free(&db_, &kSdkAlloc);
  std::free(look_.buf);
}

SRes SevenZipArchive::SeekRead(ISeekInStreamPtr p, void* buf, size_t* size) {
  SevenZipArchive* self = reinterpret_cast<const SeekAdapter*>(p)->owner;
  const uint64_t total = self->source_->Size();
  size_t n = *size;
  if (self->position_ >= total) n = 0;
  if (n > total - self->position_) n = static_cast<size_t>(total - self->position_);
  *size = 0;
  if (n == 0) return SZ_OK;  // end of the stream: the SDK reports it as it sees fit
  if (!self->source_->ReadAt(self->position_, buf, n)) {
    self->read_failed_ = true;
    return SZ_ERROR_READ;
  }
  self->position_ += n;
  *size = n;
  return SZ_OK;
}

SRes SevenZipArchive::SeekSeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  SevenZipArchive* self = reinterpret_cast<const SeekAdapter*>(p)->owner;
  Int64 base = 0;
  if (origin == SZ_SEEK_CUR) base = static_cast<Int64>(self->position_);
  if (origin == SZ_SEEK_END) base = static_cast<Int64>(self->source_->Size());
  const Int64 target = base + *pos;
  if (target < 0) return SZ_ERROR_PARAM;
  self->position_ = static_cast<uint64_t>(target);
  *pos = target;
  return SZ_OK;
}

DecodeStatus SevenZipArchive::Open(IByteSource& source) {
  source_ = &source;
  position_ = 0;
  LookToRead2_CreateVTable(&look_, False);
  look_.buf = static_cast<Byte*>(std::malloc(kLookBufferSize));
  if (!look_.buf) return DecodeStatus::NoMemory;
  look_.bufSize = kLookBufferSize;
  look_.realStream = &adapter_.vt;
  LookToRead2_INIT(&look_);
  const SRes res = SzArEx_Open(&db_, &look_.vt, &kSdkAlloc, &kSdkAlloc);
  if (res == SZ_OK) {
    open_ = true;
    return DecodeStatus::Ok;
  }
  if (read_failed_ || res == SZ_ERROR_READ) return DecodeStatus::ReadError;
  if (res == SZ_ERROR_MEM) return DecodeStatus::NoMemory;
  if (res == SZ_ERROR_CRC) return DecodeStatus::CrcError;
  if (res == SZ_ERROR_UNSUPPORTED) return DecodeStatus::Unsupported;
  return DecodeStatus::DataError;
}

std::wstring SevenZipArchive::FileName(uint32_t file) const {
  const size_t length = SzArEx_GetFileNameUtf16(&db_, file, nullptr);
  std::vector<UInt16> units(length == 0 ? 1 : length);
  SzArEx_GetFileNameUtf16(&db_, file, units.data());
  return FromUtf16(units.data(), length == 0 ? 0 : length - 1);
}

int32_t SevenZipArchive::Find(const std::wstring& name) const {
  if (!open_) return -1;
  for (uint32_t i = 0; i < db_.NumFiles; ++i) {
    if (!IsFolder(i) && FileName(i) == name) return static_cast<int32_t>(i);
  }
  return -1;
}

bool SevenZipArchive::IsSupported(uint32_t file) const {
  if (!open_ || file >= db_.NumFiles) return false;
  const UInt32 folder = db_.FileToFolder[file];
  return folder == static_cast<UInt32>(-1) || IsSupportedFolder(db_, folder);
}

DecodeStatus SevenZipArchive::Extract(uint32_t file, const std::wstring& password,
                                      const std::function<bool(const uint8_t*, size_t)>& consume) {
  if (!open_ || file >= db_.NumFiles || IsFolder(file)) return DecodeStatus::Unsupported;
  uint64_t remaining = FileSize(file);
  uint32_t crc = CRC_INIT_VAL;
  const UInt32 folder = db_.FileToFolder[file];
  if (folder != static_cast<UInt32>(-1)) {
    std::unique_ptr<DecodeStage> stream;
    DecodeStatus status = OpenFolderStream(db_, folder, *source_, password, &stream);
    if (status != DecodeStatus::Ok) return status;
    ByteBuffer buffer;
    try {
      buffer = ByteBuffer(kExtractChunk);
    } catch (const std::bad_alloc&) {
      return DecodeStatus::NoMemory;
    }
    // The files before this one in a solid folder are decoded and dropped.
    uint64_t skip = db_.UnpackPositions[file] - db_.UnpackPositions[db_.FolderToFile[folder]];
    while (skip != 0 || remaining != 0) {
      const uint64_t wanted = skip != 0 ? skip : remaining;
      const size_t ask = wanted < buffer.size() ? static_cast<size_t>(wanted) : buffer.size();
      size_t got = 0;
      status = stream->Read(buffer.data(), ask, &got);
      if (status != DecodeStatus::Ok) return status;
      if (got == 0) return DecodeStatus::DataError;  // the folder is shorter than its files
      if (skip != 0) {
        skip -= got;
        continue;
      }
      crc = CrcUpdate(crc, buffer.data(), got);
      remaining -= got;
      if (!consume(buffer.data(), got)) return DecodeStatus::WriteError;
    }
  }
  if (SzBitWithVals_Check(&db_.CRCs, file) && CRC_GET_DIGEST(crc) != db_.CRCs.Vals[file]) {
    return DecodeStatus::CrcError;
  }
  return DecodeStatus::Ok;
}
