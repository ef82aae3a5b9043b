// The 7z AES coder properties and the key derivation and decryption they feed.
// First byte: size of the properties; then the properties; then the password.
#include "archive/aes_7z.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t props_size = data[0] < size - 1 ? data[0] : size - 1;
  AesCoderProps props;
  if (!ParseAesCoderProps(data + 1, props_size, &props)) return 0;
  FUZZ_CHECK(props.salt_size <= sizeof(props.salt));
  // Every doubling of the rounds doubles the time of one input; the derivation
  // is the same loop whatever the count.
  if (props.cycles_power != 0x3F && props.cycles_power > 8) props.cycles_power = 8;
  const std::vector<std::wstring> password = Fields(data + 1 + props_size, size - 1 - props_size);
  uint8_t key[32];
  DeriveAesKey(props, password[0], key);
  uint8_t block[48] = {};
  AesCbcDecryptor decryptor(key, props.iv);
  decryptor.Decrypt(block, sizeof(block) / 16);
  return 0;
}
