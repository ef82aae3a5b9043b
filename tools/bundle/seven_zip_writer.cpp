#include "seven_zip_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/aes_7z.h"
#include "archive/bundle_index.h"
#include "archive/seven_zip_archive.h"
#include "host.h"

extern "C" {
#include "7zCrc.h"
#include "Aes.h"
#include "Bra.h"
#include "Lzma2Enc.h"
#include "LzmaEnc.h"
}

namespace {
// Property identifiers of the 7z header.
enum : uint8_t {
  kEnd = 0x00,
  kHeader = 0x01,
  kMainStreamsInfo = 0x04,
  kFilesInfo = 0x05,
  kPackInfo = 0x06,
  kUnpackInfo = 0x07,
  kSubStreamsInfo = 0x08,
  kSize = 0x09,
  kCrc = 0x0A,
  kFolder = 0x0B,
  kCodersUnpackSize = 0x0C,
  kEmptyStream = 0x0E,
  kEmptyFile = 0x0F,
  kName = 0x11,
};

constexpr uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr size_t kSignatureHeaderSize = 32;
constexpr uint8_t kBcjX86Id[] = {0x03, 0x03, 0x01, 0x03};
constexpr uint8_t kLzma2Id[] = {0x21};
constexpr uint8_t kLzmaId[] = {0x03, 0x01, 0x01};
constexpr uint8_t kAesId[] = {0x06, 0xF1, 0x07, 0x01};
// 2^19 hash rounds, as 7-Zip uses: slow enough to make guessing costly, and
// the key is derived once per archive.
constexpr unsigned kAesCyclesPower = 19;
// Level 5's dictionary; LzmaEncProps_Normalize shrinks it to the file size.
constexpr uint32_t kDictionarySize = uint32_t(1) << 24;
constexpr int kLevel = 5;
constexpr size_t kInputBufferSize = size_t(1) << 20;
constexpr size_t kOutputBufferSize = size_t(1) << 16;  // a multiple of the AES block

void* SdkAlloc(ISzAllocPtr, size_t size) {
  return size == 0 ? nullptr : std::malloc(size);
}
void SdkFree(ISzAllocPtr, void* address) {
  std::free(address);
}
const ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

// The header's encodings: 7z numbers, little-endian integers, bit vectors.
class HeaderBytes {
 public:
  void Byte(uint8_t value) { bytes_.push_back(value); }
  void Bytes(const uint8_t* data, size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
  void Number(uint64_t value) {
    // The count of leading one bits of the first byte is the count of bytes
    // that follow; the first byte's remaining bits are the value's top bits.
    uint8_t first = 0, mask = 0x80;
    int extra = 0;
    for (; extra < 8; ++extra) {
      if (value < (uint64_t(1) << (7 * (extra + 1)))) {
        first |= static_cast<uint8_t>(value >> (8 * extra));
        break;
      }
      first |= mask;
      mask >>= 1;
    }
    Byte(first);
    for (int i = 0; i < extra; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
  }
  void UInt32(uint32_t value) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
  }
  void UInt64(uint64_t value) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
  }
  // Most significant bit first, as 7z stores bit vectors.
  void Bits(const std::vector<bool>& bits) {
    for (size_t i = 0; i < bits.size(); i += 8) {
      uint8_t packed = 0;
      for (size_t k = 0; k < 8 && i + k < bits.size(); ++k) {
        if (bits[i + k]) packed |= static_cast<uint8_t>(0x80 >> k);
      }
      Byte(packed);
    }
  }
  void Append(const HeaderBytes& other) { Bytes(other.data(), other.size()); }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

bool SeekFile(FILE* file, uint64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<int64_t>(offset), origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

uint64_t FileSizeOf(FILE* file) {
#ifdef _WIN32
  const int64_t size = SeekFile(file, 0, SEEK_END) ? _ftelli64(file) : -1;
#else
  const int64_t size = SeekFile(file, 0, SEEK_END) ? static_cast<int64_t>(ftello(file)) : -1;
#endif
  SeekFile(file, 0, SEEK_SET);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// The encoder's input: the file read in large pieces, its CRC and size taken
// from the original bytes, and the BCJ x86 filter applied before the encoder
// sees them. The converter needs a few bytes of look-ahead, so the bytes it
// has not converted yet stay in the buffer for the next fill; at the end of
// the file they go out as they are, just as the decoder leaves them.
class FilteredInput {
 public:
  explicit FilteredInput(FILE* file) : file_(file), buffer_(new uint8_t[kInputBufferSize]) {
    vt_.Read = &ReadThunk;
  }
  ISeqInStreamPtr stream() const { return &vt_; }
  // Reads the first piece; false on a read error. Empty() tells afterwards
  // whether the file had no bytes at all.
  bool Prime() { return Fill(); }
  bool Empty() const { return end_of_file_ && filled_ == 0 && size_ == 0; }
  bool failed() const { return failed_; }
  uint64_t size() const { return size_; }
  uint32_t crc() const { return CRC_GET_DIGEST(crc_); }

 private:
  static SRes ReadThunk(ISeqInStreamPtr p, void* data, size_t* size) {
    FilteredInput* self = reinterpret_cast<FilteredInput*>(const_cast<ISeqInStream*>(p));
    const size_t wanted = *size;
    *size = 0;
    while (self->position_ == self->converted_ && !self->end_of_file_) {
      if (!self->Fill()) return SZ_ERROR_READ;
    }
    size_t n = self->converted_ - self->position_;
    if (n > wanted) n = wanted;
    std::memcpy(data, self->buffer_.get() + self->position_, n);
    self->position_ += n;
    *size = n;
    return SZ_OK;
  }

  bool Fill() {
    const size_t keep = filled_ - position_;
    std::memmove(buffer_.get(), buffer_.get() + position_, keep);
    position_ = 0;
    filled_ = keep;
    const size_t got = std::fread(buffer_.get() + filled_, 1, kInputBufferSize - filled_, file_);
    if (got == 0) {
      if (std::ferror(file_)) {
        failed_ = true;
        return false;
      }
      end_of_file_ = true;
    }
    crc_ = CrcUpdate(crc_, buffer_.get() + filled_, got);
    size_ += got;
    filled_ += got;
    if (end_of_file_) {
      converted_ = filled_;
      return true;
    }
    const size_t done = static_cast<size_t>(
        z7_BranchConvSt_X86_Enc(buffer_.get(), filled_, pc_, &state_) - buffer_.get());
    pc_ += static_cast<uint32_t>(done);
    converted_ = done;
    return true;
  }

  ISeqInStream vt_;  // first, so that the SDK's pointer leads back here
  FILE* file_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t position_ = 0;   // next byte to hand out
  size_t converted_ = 0;  // end of the filtered bytes
  size_t filled_ = 0;     // end of the bytes read
  bool end_of_file_ = false;
  bool failed_ = false;
  uint32_t pc_ = 0;
  uint32_t state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
  uint32_t crc_ = CRC_INIT_VAL;
  uint64_t size_ = 0;
};

// The encoder's output, written straight into the archive: as it is, or
// AES-256-CBC encrypted with the last block padded with zeros. The header
// records the padded size as the packed size but the encoder's own size as
// the AES coder's output: the LZMA2 decoder rejects bytes after its end.
class PackedOutput {
 public:
  PackedOutput(FILE* out, const uint8_t* key, const uint8_t* iv)
      : out_(out), encrypt_(key != nullptr) {
    vt_.Write = &WriteThunk;
    if (encrypt_) {
      std::memset(aes_buffer_, 0, sizeof(aes_buffer_));
      Aes_SetKey_Enc(AesState() + 4, key, 32);
      AesCbc_Init(AesState(), iv);
    }
  }
  ISeqOutStreamPtr stream() const { return &vt_; }
  // Encrypts and writes what is held back; false on a write error.
  bool Finish() {
    if (!encrypt_ || held_ == 0) return !failed_;
    const size_t padded = (held_ + AES_BLOCK_SIZE - 1) / AES_BLOCK_SIZE * AES_BLOCK_SIZE;
    std::memset(Block() + held_, 0, padded - held_);
    held_ = padded;
    return Flush();
  }
  bool failed() const { return failed_; }
  uint64_t written() const { return written_; }
  uint64_t encoded() const { return encoded_; }

 private:
  static size_t WriteThunk(ISeqOutStreamPtr p, const void* data, size_t size) {
    PackedOutput* self = reinterpret_cast<PackedOutput*>(const_cast<ISeqOutStream*>(p));
    return self->Write(static_cast<const uint8_t*>(data), size) ? size : 0;
  }

  bool Write(const uint8_t* data, size_t size) {
    if (failed_) return false;
    encoded_ += size;
    if (!encrypt_) return Put(data, size);
    while (size != 0) {
      size_t n = kOutputBufferSize - held_;
      if (n > size) n = size;
      std::memcpy(Block() + held_, data, n);
      held_ += n;
      data += n;
      size -= n;
      if (held_ == kOutputBufferSize && !Flush()) return false;
    }
    return true;
  }

  // Encrypts the held bytes (whole blocks) and writes them.
  bool Flush() {
    g_AesCbc_Encode(AesState(), Block(), held_ / AES_BLOCK_SIZE);
    const bool ok = Put(Block(), held_);
    held_ = 0;
    return ok;
  }

  bool Put(const uint8_t* data, size_t size) {
    if (std::fwrite(data, 1, size, out_) != size) {
      failed_ = true;
      return false;
    }
    written_ += size;
    return true;
  }

  // The SDK wants the AES state and the data 16-byte aligned.
  static uint8_t* Align(uint8_t* p) {
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t(15));
  }
  uint32_t* AesState() { return reinterpret_cast<uint32_t*>(Align(aes_buffer_)); }
  uint8_t* Block() { return Align(block_buffer_.get()); }

  ISeqOutStream vt_;  // first, so that the SDK's pointer leads back here
  FILE* out_;
  bool encrypt_;
  bool failed_ = false;
  uint64_t written_ = 0;  // into the archive
  uint64_t encoded_ = 0;  // from the encoder
  size_t held_ = 0;
  uint8_t aes_buffer_[AES_NUM_IVMRK_WORDS * 4 + 16];
  std::unique_ptr<uint8_t[]> block_buffer_{new uint8_t[kOutputBufferSize + 16]};
};

// What the header says about one non-empty file's folder.
struct FolderRecord {
  std::vector<uint8_t> method_props;  // the LZMA2 or LZMA coder's properties
  std::vector<uint8_t> aes_props;     // empty: not encrypted
  uint64_t unpack_size = 0;
  uint64_t packed_size = 0;
  uint64_t encoded_size = 0;  // the AES coder's output: packed_size before padding
  uint32_t crc = 0;
};

// Runs the file through the encoder into out. 0 when done, else an SDK code.
SRes Encode(FilteredInput& input, PackedOutput& output, uint64_t size_hint, SevenZipMethod method,
            std::vector<uint8_t>* props) {
  CLzmaEncProps lzma;
  LzmaEncProps_Init(&lzma);
  lzma.level = kLevel;
  lzma.dictSize = kDictionarySize;
  lzma.reduceSize = size_hint;
  // A second thread finds matches while the first encodes: the same stream,
  // in about half the time.
  lzma.numThreads = 2;
  if (method == SevenZipMethod::Lzma2) {
    CLzma2EncProps lzma2;
    Lzma2EncProps_Init(&lzma2);
    lzma2.lzmaProps = lzma;
    lzma2.blockSize = LZMA2_ENC_PROPS_BLOCK_SIZE_SOLID;
    lzma2.numBlockThreads_Max = 1;
    lzma2.numTotalThreads = 2;
    CLzma2EncHandle encoder = Lzma2Enc_Create(&kSdkAlloc, &kSdkAlloc);
    if (!encoder) return SZ_ERROR_MEM;
    SRes result = Lzma2Enc_SetProps(encoder, &lzma2);
    if (result == SZ_OK) {
      Lzma2Enc_SetDataSize(encoder, size_hint);
      props->assign(1, Lzma2Enc_WriteProperties(encoder));
      result = Lzma2Enc_Encode2(encoder, output.stream(), nullptr, nullptr, input.stream(), nullptr,
                                0, nullptr);
    }
    Lzma2Enc_Destroy(encoder);
    return result;
  }
  CLzmaEncHandle encoder = LzmaEnc_Create(&kSdkAlloc);
  if (!encoder) return SZ_ERROR_MEM;
  SRes result = LzmaEnc_SetProps(encoder, &lzma);
  if (result == SZ_OK) {
    LzmaEnc_SetDataSize(encoder, size_hint);
    uint8_t encoded[LZMA_PROPS_SIZE];
    SizeT encoded_size = sizeof(encoded);
    result = LzmaEnc_WriteProperties(encoder, encoded, &encoded_size);
    props->assign(encoded, encoded + encoded_size);
  }
  // No end marker: the header carries the size, and the decoder stops there.
  if (result == SZ_OK) {
    result =
        LzmaEnc_Encode(encoder, output.stream(), input.stream(), nullptr, &kSdkAlloc, &kSdkAlloc);
  }
  LzmaEnc_Destroy(encoder, &kSdkAlloc, &kSdkAlloc);
  return result;
}

// The 7z AES coder's properties: the rounds, no salt, and a 16-byte IV.
std::vector<uint8_t> AesProps(const uint8_t iv[16]) {
  std::vector<uint8_t> props = {static_cast<uint8_t>(kAesCyclesPower | 0x40), 0x0F};
  props.insert(props.end(), iv, iv + 16);
  return props;
}

void WriteCoder(HeaderBytes* h, const uint8_t* id, size_t id_size,
                const std::vector<uint8_t>& props) {
  h->Byte(static_cast<uint8_t>(id_size | (props.empty() ? 0 : 0x20)));
  h->Bytes(id, id_size);
  if (!props.empty()) {
    h->Number(props.size());
    h->Bytes(props.data(), props.size());
  }
}

// Coders in unpacking order from the file's bytes back to the packed stream:
// BCJ, then LZMA2/LZMA, then AES. Each takes its input from the next one's
// output, and the last one's input is the packed stream.
void WriteFolder(HeaderBytes* h, const FolderRecord& folder, SevenZipMethod method) {
  const bool encrypted = !folder.aes_props.empty();
  const uint32_t coders = encrypted ? 3 : 2;
  h->Number(coders);
  WriteCoder(h, kBcjX86Id, sizeof(kBcjX86Id), {});
  if (method == SevenZipMethod::Lzma2) {
    WriteCoder(h, kLzma2Id, sizeof(kLzma2Id), folder.method_props);
  } else {
    WriteCoder(h, kLzmaId, sizeof(kLzmaId), folder.method_props);
  }
  if (encrypted) WriteCoder(h, kAesId, sizeof(kAesId), folder.aes_props);
  for (uint32_t c = 0; c + 1 < coders; ++c) {
    h->Number(c);      // this coder's input stream
    h->Number(c + 1);  // is the next coder's output stream
  }
  // One packed stream, so its index (the last coder's input) is implied.
}

std::vector<uint8_t> BuildHeader(const std::vector<SevenZipEntry>& entries,
                                 const std::vector<FolderRecord>& folders,
                                 const std::vector<bool>& empty, SevenZipMethod method) {
  HeaderBytes h;
  h.Byte(kHeader);
  if (!folders.empty()) {
    h.Byte(kMainStreamsInfo);
    h.Byte(kPackInfo);
    h.Number(0);  // the packed streams start right after the signature header
    h.Number(folders.size());
    h.Byte(kSize);
    for (const FolderRecord& f : folders) h.Number(f.packed_size);
    h.Byte(kEnd);

    h.Byte(kUnpackInfo);
    h.Byte(kFolder);
    h.Number(folders.size());
    h.Byte(0);  // not external
    for (const FolderRecord& f : folders) WriteFolder(&h, f, method);
    h.Byte(kCodersUnpackSize);
    for (const FolderRecord& f : folders) {
      h.Number(f.unpack_size);  // BCJ
      h.Number(f.unpack_size);  // LZMA2/LZMA
      if (!f.aes_props.empty()) h.Number(f.encoded_size);
    }
    h.Byte(kEnd);

    // One file per folder, so only the files' CRCs are needed here.
    h.Byte(kSubStreamsInfo);
    h.Byte(kCrc);
    h.Byte(1);  // all defined
    for (const FolderRecord& f : folders) h.UInt32(f.crc);
    h.Byte(kEnd);
    h.Byte(kEnd);
  }

  h.Byte(kFilesInfo);
  h.Number(entries.size());
  size_t empty_count = 0;
  for (bool e : empty) empty_count += e ? 1 : 0;
  if (empty_count != 0) {
    HeaderBytes bits;
    bits.Bits(empty);
    h.Byte(kEmptyStream);
    h.Number(bits.size());
    h.Append(bits);
    // Every empty stream is a file, not a folder.
    HeaderBytes files;
    files.Bits(std::vector<bool>(empty_count, true));
    h.Byte(kEmptyFile);
    h.Number(files.size());
    h.Append(files);
  }
  HeaderBytes names;
  names.Byte(0);  // not external
  for (const SevenZipEntry& entry : entries) {
    for (uint16_t unit : ToUtf16(entry.name)) {
      names.Byte(static_cast<uint8_t>(unit));
      names.Byte(static_cast<uint8_t>(unit >> 8));
    }
    names.Byte(0);
    names.Byte(0);
  }
  h.Byte(kName);
  h.Number(names.size());
  h.Append(names);
  h.Byte(kEnd);
  h.Byte(kEnd);
  return std::vector<uint8_t>(h.data(), h.data() + h.size());
}

std::vector<uint8_t> SignatureHeader(uint64_t next_offset, const std::vector<uint8_t>& header) {
  HeaderBytes start;
  start.UInt64(next_offset);
  start.UInt64(header.size());
  start.UInt32(CrcCalc(header.data(), header.size()));
  HeaderBytes h;
  h.Bytes(kSignature, sizeof(kSignature));
  h.Byte(0);  // format version 0.4
  h.Byte(4);
  h.UInt32(CrcCalc(start.data(), start.size()));
  h.Append(start);
  return std::vector<uint8_t>(h.data(), h.data() + h.size());
}

const char* SdkProblem(SRes result) {
  switch (result) {
    case SZ_ERROR_MEM:
      return "out of memory";
    case SZ_ERROR_READ:
      return "read error";
    case SZ_ERROR_WRITE:
      return "write error";
    default:
      return "encoder error";
  }
}

// Writes the archive into the open file; the caller removes it on failure.
bool WriteArchive(FILE* out, const std::string& archive_path,
                  const std::vector<SevenZipEntry>& entries, const SevenZipOptions& options,
                  std::string* error) {
  PrepareCrcTables();
  uint8_t key[32];
  const bool encrypted = !options.password.empty();
  if (encrypted) {
    AesCoderProps props;
    props.cycles_power = kAesCyclesPower;
    DeriveAesKey(props, options.password, key);  // no salt: the same key for every folder
    AesGenTables();
  }
  const uint8_t zeros[kSignatureHeaderSize] = {};
  if (std::fwrite(zeros, 1, sizeof(zeros), out) != sizeof(zeros)) {
    *error = "cannot write " + archive_path;
    return false;
  }
  std::vector<FolderRecord> folders;
  std::vector<bool> empty;
  uint64_t packed_total = 0;
  for (const SevenZipEntry& entry : entries) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(entry.path.c_str(), "rb"), &std::fclose);
    if (!file) {
      *error = "cannot read " + entry.path;
      return false;
    }
    const uint64_t size_hint = FileSizeOf(file.get());
    FilteredInput input(file.get());
    if (!input.Prime()) {
      *error = "cannot read " + entry.path;
      return false;
    }
    empty.push_back(input.Empty());
    if (input.Empty()) continue;
    FolderRecord folder;
    uint8_t iv[16] = {};
    if (encrypted) {
      // A fresh IV per folder, so equal beginnings of files do not show.
      if (!RandomBytes(iv, sizeof(iv))) {
        *error = "no random numbers for the encryption";
        return false;
      }
      folder.aes_props = AesProps(iv);
    }
    PackedOutput output(out, encrypted ? key : nullptr, iv);
    const SRes result = Encode(input, output, size_hint, options.method, &folder.method_props);
    if (input.failed() || (result == SZ_OK && std::ferror(file.get()))) {
      *error = "cannot read " + entry.path;
      return false;
    }
    if (output.failed() || (result == SZ_OK && !output.Finish())) {
      *error = "cannot write " + archive_path;
      return false;
    }
    if (result != SZ_OK) {
      *error = std::string("cannot compress ") + entry.path + ": " + SdkProblem(result);
      return false;
    }
    folder.unpack_size = input.size();
    folder.crc = input.crc();
    folder.packed_size = output.written();
    folder.encoded_size = output.encoded();
    packed_total += folder.packed_size;
    folders.push_back(folder);
  }
  const std::vector<uint8_t> header = BuildHeader(entries, folders, empty, options.method);
  const std::vector<uint8_t> start = SignatureHeader(packed_total, header);
  if (std::fwrite(header.data(), 1, header.size(), out) != header.size() ||
      !SeekFile(out, 0, SEEK_SET) ||
      std::fwrite(start.data(), 1, start.size(), out) != start.size()) {
    *error = "cannot write " + archive_path;
    return false;
  }
  return true;
}
}  // namespace

bool WriteSevenZip(const std::string& archive_path, const std::vector<SevenZipEntry>& entries,
                   const SevenZipOptions& options, std::string* error) {
  FILE* out = std::fopen(archive_path.c_str(), "wb");
  if (!out) {
    *error = "cannot create " + archive_path;
    return false;
  }
  bool ok = WriteArchive(out, archive_path, entries, options, error);
  if (std::fclose(out) != 0 && ok) {
    *error = "cannot write " + archive_path;
    ok = false;
  }
  if (!ok) std::remove(archive_path.c_str());
  return ok;
}
