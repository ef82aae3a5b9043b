// The certificate table of a signed executable, read by the bundling tool for
// the SignedBy= line: a PKCS#7 signature from a vendor's file, walked by hand.
#include "../../tools/bundle/signer_name.h"

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name;
  if (SignerNameOfCertificateTable(data, size, &name)) FUZZ_CHECK(name.size() <= size * 4);
  return 0;
}
