#include "archive/aes_7z.h"

#include <cstring>
#include <vector>

#include "archive/bundle_index.h"

extern "C" {
#include "Aes.h"
#include "Sha256.h"
}

namespace {
// The SDK picks its hardware or table code once per process.
void PrepareSdk() {
  struct Once {
    Once() {
      AesGenTables();
      Sha256Prepare();
    }
  };
  static Once once;
}
}  // namespace

bool ParseAesCoderProps(const uint8_t* props, size_t size, AesCoderProps* out) {
  *out = AesCoderProps();
  if (size == 0) return false;
  const uint8_t first = props[0];
  out->cycles_power = first & 0x3F;
  if (out->cycles_power > kMaxAesCyclesPower && out->cycles_power != 0x3F) return false;
  if ((first & 0xC0) == 0) return size == 1;
  if (size < 2) return false;
  const uint8_t second = props[1];
  const size_t salt_size = ((first >> 7) & 1) + (second >> 4);
  const size_t iv_size = ((first >> 6) & 1) + (second & 0x0F);
  if (size != 2 + salt_size + iv_size) return false;
  // 7-Zip never writes more; the key derivation below assumes it.
  if (salt_size > 16 || iv_size > 16) return false;
  out->salt_size = salt_size;
  std::memcpy(out->salt, props + 2, salt_size);
  std::memcpy(out->iv, props + 2 + salt_size, iv_size);
  return true;
}

void DeriveAesKey(const AesCoderProps& props, const std::wstring& password, uint8_t key[32]) {
  PrepareSdk();
  std::vector<uint8_t> secret;
  for (uint16_t unit : ToUtf16(password)) {
    secret.push_back(static_cast<uint8_t>(unit));
    secret.push_back(static_cast<uint8_t>(unit >> 8));
  }
  if (props.cycles_power == 0x3F) {
    std::memset(key, 0, 32);
    size_t pos = 0;
    for (size_t i = 0; i < props.salt_size && pos < 32; ++i) key[pos++] = props.salt[i];
    for (size_t i = 0; i < secret.size() && pos < 32; ++i) key[pos++] = secret[i];
    return;
  }
  // One buffer per round, so each round is a single update.
  std::vector<uint8_t> round(props.salt, props.salt + props.salt_size);
  round.insert(round.end(), secret.begin(), secret.end());
  const size_t counter_at = round.size();
  round.resize(counter_at + 8, 0);
  CSha256 sha;
  Sha256_Init(&sha);
  const uint64_t rounds = uint64_t(1) << props.cycles_power;
  for (uint64_t i = 0; i < rounds; ++i) {
    for (int b = 0; b < 8; ++b) round[counter_at + b] = static_cast<uint8_t>(i >> (8 * b));
    Sha256_Update(&sha, round.data(), round.size());
  }
  Sha256_Final(&sha, key);
}

AesCbcDecryptor::AesCbcDecryptor(const uint8_t key[32], const uint8_t iv[16]) {
  PrepareSdk();
  uint32_t* state = State();
  Aes_SetKey_Dec(state + 4, key, 32);
  AesCbc_Init(state, iv);
}

void AesCbcDecryptor::Decrypt(uint8_t* data, size_t blocks) {
  if (blocks != 0) g_AesCbc_Decode(State(), data, blocks);
}
