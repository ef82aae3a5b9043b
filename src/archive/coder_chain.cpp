#include "archive/coder_chain.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "archive/aes_7z.h"
#include "archive/byte_buffer.h"

extern "C" {
#include "Bra.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
}

namespace {
constexpr uint32_t kCopy = 0;
constexpr uint32_t kLzma2 = 0x21;
constexpr uint32_t kLzma = 0x30101;
constexpr uint32_t kBcjX86 = 0x3030103;
constexpr uint32_t kAes = 0x6F10701;
constexpr size_t kInputChunk = 1 << 16;
constexpr size_t kFilterChunk = 1 << 20;

struct CoderStep {
  uint32_t method = 0;
  const uint8_t* props = nullptr;
  size_t props_size = 0;
  uint64_t unpack_size = 0;
};

// A dictionary the header asks for is allocated before a byte is decoded:
// one beyond the bound is refused rather than tried.
bool AcceptsProps(const CoderStep& step) {
  switch (step.method) {
    case kLzma: {
      if (step.props_size != LZMA_PROPS_SIZE) return false;
      const uint32_t dictionary = step.props[1] | (step.props[2] << 8) | (step.props[3] << 16) |
                                  (static_cast<uint32_t>(step.props[4]) << 24);
      return dictionary <= kMaxDictionarySize;
    }
    case kLzma2: {
      // 40 stands for 4 GiB - 1; above it is no dictionary at all.
      if (step.props_size != 1 || step.props[0] > 40) return false;
      const uint64_t dictionary = (uint64_t(2) | (step.props[0] & 1)) << (step.props[0] / 2 + 11);
      return dictionary <= kMaxDictionarySize;
    }
    case kAes: {
      AesCoderProps props;
      return ParseAesCoderProps(step.props, step.props_size, &props);
    }
  }
  return step.method == kCopy || step.method == kBcjX86;
}

// The coders from the packed stream to the folder's output. Only chains of
// single-stream coders with one packed stream (what 7-Zip writes for LZMA,
// LZMA2, BCJ and AES) are accepted.
bool PlanFolder(const CSzArEx& db, uint32_t folder_index, std::vector<CoderStep>* steps,
                uint64_t* pack_offset, uint64_t* pack_size) {
  const CSzAr& ar = db.db;
  if (folder_index >= ar.NumFolders) return false;
  const uint8_t* data = ar.CodersData + ar.FoCodersOffsets[folder_index];
  CSzData sd = {data, ar.FoCodersOffsets[folder_index + 1] - ar.FoCodersOffsets[folder_index]};
  CSzFolder folder;
  if (SzGetNextFolderItem(&folder, &sd) != SZ_OK || sd.Size != 0) return false;
  if (folder.NumPackStreams != 1 || folder.NumBonds + 1 != folder.NumCoders) return false;
  for (uint32_t c = 0; c < folder.NumCoders; ++c) {
    if (folder.Coders[c].NumStreams != 1) return false;
  }
  const UInt64* unpack_sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder_index];
  uint32_t current = folder.PackStreams[0];
  steps->clear();
  while (steps->size() <= folder.NumCoders && current < folder.NumCoders) {
    const CSzCoderInfo& coder = folder.Coders[current];
    steps->push_back(
        {coder.MethodID, data + coder.PropsOffset, coder.PropsSize, unpack_sizes[current]});
    if (current == folder.UnpackStream) break;
    uint32_t next = folder.NumCoders;
    for (uint32_t b = 0; b < folder.NumBonds; ++b) {
      if (folder.Bonds[b].OutIndex == current) next = folder.Bonds[b].InIndex;
    }
    current = next;
  }
  if (steps->size() != folder.NumCoders || current != folder.UnpackStream) return false;
  const uint32_t pack_stream = ar.FoStartPackStreamIndex[folder_index];
  *pack_offset = db.dataPos + ar.PackPositions[pack_stream];
  *pack_size = ar.PackPositions[pack_stream + 1] - ar.PackPositions[pack_stream];
  for (const CoderStep& step : *steps) {
    if (!AcceptsProps(step)) return false;
  }
  return true;
}

class PackStage : public DecodeStage {
 public:
  PackStage(IByteSource& source, uint64_t offset, uint64_t size)
      : source_(source), offset_(offset), remaining_(size) {}
  DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) override {
    const size_t n = remaining_ < capacity ? static_cast<size_t>(remaining_) : capacity;
    *produced = 0;
    if (n == 0) return DecodeStatus::Ok;
    if (!source_.ReadAt(offset_, data, n)) return DecodeStatus::ReadError;
    offset_ += n;
    remaining_ -= n;
    *produced = n;
    return DecodeStatus::Ok;
  }

 private:
  IByteSource& source_;
  uint64_t offset_;
  uint64_t remaining_;
};

// Input buffering shared by the coders that consume their input unevenly.
class BufferedStage : public DecodeStage {
 protected:
  BufferedStage(std::unique_ptr<DecodeStage> upstream, size_t size)
      : upstream_(std::move(upstream)), input_(size) {}
  // Reads more when everything buffered was used; sets ended_ at the end.
  DecodeStatus Refill() {
    if (in_pos_ < in_size_ || ended_) return DecodeStatus::Ok;
    in_pos_ = 0;
    const DecodeStatus status = upstream_->Read(input_.data(), input_.size(), &in_size_);
    if (status == DecodeStatus::Ok && in_size_ == 0) ended_ = true;
    return status;
  }
  std::unique_ptr<DecodeStage> upstream_;
  ByteBuffer input_;
  size_t in_pos_ = 0;
  size_t in_size_ = 0;
  bool ended_ = false;
};

// LZMA and LZMA2 differ only in their SDK calls.
struct LzmaCalls {
  using Decoder = CLzmaDec;
  static void Construct(Decoder* d) { LzmaDec_Construct(d); }
  static SRes Allocate(Decoder* d, const CoderStep& step) {
    return LzmaDec_Allocate(d, step.props, static_cast<unsigned>(step.props_size), &kSdkAlloc);
  }
  static void Init(Decoder* d) { LzmaDec_Init(d); }
  static void Free(Decoder* d) { LzmaDec_Free(d, &kSdkAlloc); }
  static SRes Decode(Decoder* d, Byte* dest, SizeT* dest_len, const Byte* src, SizeT* src_len,
                     ELzmaStatus* status) {
    return LzmaDec_DecodeToBuf(d, dest, dest_len, src, src_len, LZMA_FINISH_ANY, status);
  }
};
struct Lzma2Calls {
  using Decoder = CLzma2Dec;
  static void Construct(Decoder* d) { Lzma2Dec_Construct(d); }
  static SRes Allocate(Decoder* d, const CoderStep& step) {
    if (step.props_size != 1) return SZ_ERROR_UNSUPPORTED;
    return Lzma2Dec_Allocate(d, step.props[0], &kSdkAlloc);
  }
  static void Init(Decoder* d) { Lzma2Dec_Init(d); }
  static void Free(Decoder* d) { Lzma2Dec_Free(d, &kSdkAlloc); }
  static SRes Decode(Decoder* d, Byte* dest, SizeT* dest_len, const Byte* src, SizeT* src_len,
                     ELzmaStatus* status) {
    return Lzma2Dec_DecodeToBuf(d, dest, dest_len, src, src_len, LZMA_FINISH_ANY, status);
  }
};

template <typename Calls>
class LzmaStage : public BufferedStage {
 public:
  LzmaStage(std::unique_ptr<DecodeStage> upstream, uint64_t unpack_size)
      : BufferedStage(std::move(upstream), kInputChunk), remaining_(unpack_size) {
    Calls::Construct(&decoder_);
  }
  ~LzmaStage() override { Calls::Free(&decoder_); }
  DecodeStatus Start(const CoderStep& step) {
    const SRes res = Calls::Allocate(&decoder_, step);
    if (res == SZ_ERROR_MEM) return DecodeStatus::NoMemory;
    if (res != SZ_OK) return DecodeStatus::Unsupported;
    Calls::Init(&decoder_);
    return DecodeStatus::Ok;
  }
  DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) override {
    *produced = 0;
    const size_t want = remaining_ < capacity ? static_cast<size_t>(remaining_) : capacity;
    while (*produced < want) {
      const DecodeStatus refill = Refill();
      if (refill != DecodeStatus::Ok) return refill;
      SizeT out_len = want - *produced;
      SizeT in_len = in_size_ - in_pos_;
      ELzmaStatus status;
      const SRes res = Calls::Decode(&decoder_, data + *produced, &out_len, input_.data() + in_pos_,
                                     &in_len, &status);
      in_pos_ += in_len;
      *produced += out_len;
      remaining_ -= out_len;
      if (res == SZ_ERROR_MEM) return DecodeStatus::NoMemory;
      if (res != SZ_OK) return DecodeStatus::DataError;
      if (status == LZMA_STATUS_FINISHED_WITH_MARK && remaining_ != 0) {
        return DecodeStatus::DataError;
      }
      // No progress with the input used up: the stream ends too early.
      if (out_len == 0 && in_len == 0 && ended_) return DecodeStatus::DataError;
    }
    return DecodeStatus::Ok;
  }

 private:
  typename Calls::Decoder decoder_;
  uint64_t remaining_;
};

class AesStage : public BufferedStage {
 public:
  AesStage(std::unique_ptr<DecodeStage> upstream, uint64_t unpack_size, const uint8_t key[32],
           const uint8_t iv[16])
      : BufferedStage(std::move(upstream), kInputChunk), remaining_(unpack_size), aes_(key, iv) {}
  DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) override {
    *produced = 0;
    if (remaining_ == 0) return DecodeStatus::Ok;
    while (pos_ == decrypted_) {
      // Keep the partial block, then read until at least one whole block is in.
      const size_t tail = filled_ - decrypted_;
      std::memmove(input_.data(), input_.data() + decrypted_, tail);
      filled_ = tail;
      pos_ = decrypted_ = 0;
      size_t n = 0;
      const DecodeStatus status =
          upstream_->Read(input_.data() + filled_, input_.size() - filled_, &n);
      if (status != DecodeStatus::Ok) return status;
      if (n == 0) return DecodeStatus::DataError;  // ends before its unpacked size
      filled_ += n;
      decrypted_ = filled_ / 16 * 16;
      aes_.Decrypt(input_.data(), decrypted_ / 16);
    }
    size_t n = decrypted_ - pos_;
    if (n > capacity) n = capacity;
    if (n > remaining_) n = static_cast<size_t>(remaining_);
    std::memcpy(data, input_.data() + pos_, n);
    pos_ += n;
    remaining_ -= n;
    *produced = n;
    return DecodeStatus::Ok;
  }

 private:
  uint64_t remaining_;
  AesCbcDecryptor aes_;
  size_t filled_ = 0;
  size_t decrypted_ = 0;
  size_t pos_ = 0;
};

// BCJ x86 leaves the last few bytes of a chunk unconverted until it sees what
// follows them; those bytes wait in the buffer for the next chunk.
class BcjStage : public BufferedStage {
 public:
  explicit BcjStage(std::unique_ptr<DecodeStage> upstream)
      : BufferedStage(std::move(upstream), kFilterChunk) {}
  DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) override {
    *produced = 0;
    while (pos_ == converted_) {
      if (ended_) return DecodeStatus::Ok;
      const size_t tail = filled_ - converted_;
      std::memmove(input_.data(), input_.data() + converted_, tail);
      filled_ = tail;
      pos_ = converted_ = 0;
      size_t n = 0;
      const DecodeStatus status =
          upstream_->Read(input_.data() + filled_, input_.size() - filled_, &n);
      if (status != DecodeStatus::Ok) return status;
      if (n == 0) ended_ = true;
      filled_ += n;
      const Byte* end = z7_BranchConvSt_X86_Dec(input_.data(), filled_, ip_, &state_);
      const size_t done = static_cast<size_t>(end - input_.data());
      ip_ += static_cast<uint32_t>(done);
      converted_ = ended_ ? filled_ : done;
    }
    size_t n = converted_ - pos_;
    if (n > capacity) n = capacity;
    std::memcpy(data, input_.data() + pos_, n);
    pos_ += n;
    *produced = n;
    return DecodeStatus::Ok;
  }

 private:
  size_t filled_ = 0;
  size_t converted_ = 0;
  size_t pos_ = 0;
  uint32_t ip_ = 0;
  uint32_t state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
};

class CopyStage : public DecodeStage {
 public:
  CopyStage(std::unique_ptr<DecodeStage> upstream, uint64_t size)
      : upstream_(std::move(upstream)), remaining_(size) {}
  DecodeStatus Read(uint8_t* data, size_t capacity, size_t* produced) override {
    if (capacity > remaining_) capacity = static_cast<size_t>(remaining_);
    const DecodeStatus status = upstream_->Read(data, capacity, produced);
    remaining_ -= *produced;
    return status;
  }

 private:
  std::unique_ptr<DecodeStage> upstream_;
  uint64_t remaining_;
};

DecodeStatus AddStage(const CoderStep& step, const std::wstring& password,
                      std::unique_ptr<DecodeStage>* chain) {
  switch (step.method) {
    case kCopy:
      chain->reset(new CopyStage(std::move(*chain), step.unpack_size));
      return DecodeStatus::Ok;
    case kBcjX86:
      chain->reset(new BcjStage(std::move(*chain)));
      return DecodeStatus::Ok;
    case kLzma: {
      auto stage = std::make_unique<LzmaStage<LzmaCalls>>(std::move(*chain), step.unpack_size);
      const DecodeStatus status = stage->Start(step);
      *chain = std::move(stage);
      return status;
    }
    case kLzma2: {
      auto stage = std::make_unique<LzmaStage<Lzma2Calls>>(std::move(*chain), step.unpack_size);
      const DecodeStatus status = stage->Start(step);
      *chain = std::move(stage);
      return status;
    }
    case kAes: {
      AesCoderProps props;
      if (!ParseAesCoderProps(step.props, step.props_size, &props)) {
        return DecodeStatus::Unsupported;
      }
      uint8_t key[32];
      DeriveAesKey(props, password, key);
      chain->reset(new AesStage(std::move(*chain), step.unpack_size, key, props.iv));
      return DecodeStatus::Ok;
    }
    default:
      return DecodeStatus::Unsupported;
  }
}
}  // namespace

bool IsSupportedFolder(const CSzArEx& db, uint32_t folder) {
  std::vector<CoderStep> steps;
  uint64_t offset = 0, size = 0;
  return PlanFolder(db, folder, &steps, &offset, &size);
}

DecodeStatus OpenFolderStream(const CSzArEx& db, uint32_t folder, IByteSource& source,
                              const std::wstring& password, std::unique_ptr<DecodeStage>* out) {
  out->reset();
  std::vector<CoderStep> steps;
  uint64_t offset = 0, size = 0;
  if (!PlanFolder(db, folder, &steps, &offset, &size)) return DecodeStatus::Unsupported;
  if (offset > source.Size() || size > source.Size() - offset) return DecodeStatus::ReadError;
  try {
    std::unique_ptr<DecodeStage> chain(new PackStage(source, offset, size));
    for (const CoderStep& step : steps) {
      const DecodeStatus status = AddStage(step, password, &chain);
      if (status != DecodeStatus::Ok) return status;
    }
    *out = std::move(chain);
  } catch (const std::bad_alloc&) {
    return DecodeStatus::NoMemory;
  }
  return DecodeStatus::Ok;
}
