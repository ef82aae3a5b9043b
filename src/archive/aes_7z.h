// The 7z AES-256 coder the SDK's C decoder lacks: the key derivation of 7z
// and AES-256-CBC decryption, on the SDK's Sha256 and Aes primitives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The coder properties stored in the 7z header.
struct AesCoderProps {
  unsigned cycles_power = 0;  // 2^cycles_power hash rounds; 0x3F: no hashing
  uint8_t salt[16] = {};
  size_t salt_size = 0;
  uint8_t iv[16] = {};  // zero-padded to the block size
};

// 7-Zip decodes no more than 2^24 rounds either; 2^62 of them would run for
// ever. The no-hashing value 0x3F costs nothing and stays accepted.
constexpr unsigned kMaxAesCyclesPower = 24;

// False when the properties are malformed, use a salt or IV over 16 bytes or
// ask for more than 2^kMaxAesCyclesPower rounds.
bool ParseAesCoderProps(const uint8_t* props, size_t size, AesCoderProps* out);

// The 32-byte key: SHA-256 over (salt, UTF-16LE password, 8-byte little-endian
// round counter) for every round; with cycles_power 0x3F, salt and password
// bytes copied and zero-padded instead.
void DeriveAesKey(const AesCoderProps& props, const std::wstring& password, uint8_t key[32]);

// AES-256-CBC decryption, in place, one call per run of whole blocks.
class AesCbcDecryptor {
 public:
  AesCbcDecryptor(const uint8_t key[32], const uint8_t iv[16]);
  void Decrypt(uint8_t* data, size_t blocks);

 private:
  uint32_t* State() {
    return reinterpret_cast<uint32_t*>((reinterpret_cast<uintptr_t>(buffer_) + 15) &
                                       ~uintptr_t(15));
  }
  // Key schedule and IV; the SDK wants them 16-byte aligned.
  uint32_t buffer_[(1 + 1 + 15) * 4 + 4];
};
