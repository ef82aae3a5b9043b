#include "signer_name.h"

#include <cstring>
#include <vector>

#include "archive/pe_overlay.h"
#include "file_source.h"
#include "utf8_text.h"

namespace {
// One DER element's content; the reader walks a sequence of them.
struct Der {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kSet = 0x31;
constexpr uint8_t kContext0 = 0xA0;  // [0], constructed
constexpr uint8_t kContext1 = 0xA1;

// The next element of in: its tag, its content, and its whole encoding
// (tag and length included) when whole is given. Only definite lengths up
// to four bytes: Authenticode signatures are DER.
bool Next(Der* in, uint8_t* tag, Der* content, Der* whole = nullptr) {
  if (in->size < 2) return false;
  const uint8_t* start = in->data;
  size_t used = 2;
  size_t length = in->data[1];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || in->size < 2 + count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | in->data[2 + i];
    used += count;
  }
  if (in->size - used < length) return false;
  *tag = in->data[0];
  content->data = in->data + used;
  content->size = length;
  in->data += used + length;
  in->size -= used + length;
  if (whole) *whole = Der{start, used + length};
  return true;
}

// The content of the next element, which must carry the tag.
bool Expect(Der* in, uint8_t tag, Der* content, Der* whole = nullptr) {
  uint8_t found = 0;
  return Next(in, &found, content, whole) && found == tag;
}

bool Skip(Der* in) {
  uint8_t tag = 0;
  Der ignored;
  return Next(in, &tag, &ignored);
}

bool Same(const Der& a, const Der& b) {
  return a.size == b.size && std::memcmp(a.data, b.data, a.size) == 0;
}

bool IsOid(const Der& oid, const uint8_t* bytes, size_t size) {
  return oid.size == size && std::memcmp(oid.data, bytes, size) == 0;
}

// A directory string as UTF-8: UTF8String as it is, BMPString (UTF-16BE),
// UniversalString (UTF-32BE), and the one-byte kinds as Latin-1.
bool DirectoryString(uint8_t tag, const Der& value, std::string* out) {
  out->clear();
  switch (tag) {
    case 0x0C:  // UTF8String
      out->assign(reinterpret_cast<const char*>(value.data), value.size);
      return true;
    case 0x13:  // PrintableString
    case 0x14:  // TeletexString
    case 0x16:  // IA5String
      for (size_t i = 0; i < value.size; ++i) AppendUtf8(value.data[i], out);
      return true;
    case 0x1E:  // BMPString
      for (size_t i = 0; i + 1 < value.size; i += 2) {
        uint32_t c = (value.data[i] << 8) | value.data[i + 1];
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < value.size) {
          const uint32_t low = (value.data[i + 2] << 8) | value.data[i + 3];
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
        AppendUtf8(c, out);
      }
      return true;
    case 0x1C:  // UniversalString
      for (size_t i = 0; i + 3 < value.size; i += 4) {
        AppendUtf8((static_cast<uint32_t>(value.data[i]) << 24) | (value.data[i + 1] << 16) |
                       (value.data[i + 2] << 8) | value.data[i + 3],
                   out);
      }
      return true;
    default:
      return false;
  }
}

// The first value of the attribute in a Name (a sequence of attribute sets).
bool NameAttribute(Der name, const uint8_t* oid, size_t oid_size, std::string* value) {
  Der set;
  while (Expect(&name, kSet, &set)) {
    Der pair;
    while (Expect(&set, kSequence, &pair)) {
      Der type, text;
      uint8_t tag = 0;
      if (Expect(&pair, kObjectId, &type) && IsOid(type, oid, oid_size) &&
          Next(&pair, &tag, &text) && DirectoryString(tag, text, value)) {
        return true;
      }
    }
  }
  return false;
}

// The order of CERT_NAME_SIMPLE_DISPLAY_TYPE: CN, OU, O, e-mail address.
bool SimpleDisplayName(const Der& name, std::string* out) {
  static const uint8_t kCommonName[] = {0x55, 0x04, 0x03};
  static const uint8_t kUnit[] = {0x55, 0x04, 0x0B};
  static const uint8_t kOrganization[] = {0x55, 0x04, 0x0A};
  static const uint8_t kEmail[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};
  return NameAttribute(name, kCommonName, sizeof kCommonName, out) ||
         NameAttribute(name, kUnit, sizeof kUnit, out) ||
         NameAttribute(name, kOrganization, sizeof kOrganization, out) ||
         NameAttribute(name, kEmail, sizeof kEmail, out);
}

// The subject of the certificate with this issuer and serial number.
bool FindSubject(Der certificates, const Der& issuer, const Der& serial, Der* subject) {
  Der certificate;
  while (Expect(&certificates, kSequence, &certificate)) {
    Der tbs, field, cert_issuer, cert_serial, ignored;
    if (!Expect(&certificate, kSequence, &tbs)) return false;
    Der version = tbs;
    uint8_t tag = 0;
    if (Next(&version, &tag, &ignored) && tag == kContext0) tbs = version;
    if (!Expect(&tbs, kInteger, &cert_serial) || !Skip(&tbs) ||
        !Expect(&tbs, kSequence, &field, &cert_issuer) || !Skip(&tbs) ||
        !Expect(&tbs, kSequence, subject)) {
      return false;
    }
    if (Same(cert_serial, serial) && Same(cert_issuer, issuer)) return true;
  }
  return false;
}

bool SignerName(Der pkcs7, std::string* name) {
  static const uint8_t kSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
  Der content_info, oid, explicit_content, signed_data, certificates, signer_infos, signer;
  Der version, ignored, issuer_and_serial, issuer, serial, subject;
  if (!Expect(&pkcs7, kSequence, &content_info) || !Expect(&content_info, kObjectId, &oid) ||
      !IsOid(oid, kSignedData, sizeof kSignedData) ||
      !Expect(&content_info, kContext0, &explicit_content) ||
      !Expect(&explicit_content, kSequence, &signed_data) ||
      !Expect(&signed_data, kInteger, &version) || !Expect(&signed_data, kSet, &ignored) ||
      !Expect(&signed_data, kSequence, &ignored) ||
      !Expect(&signed_data, kContext0, &certificates)) {
    return false;
  }
  // Revocation lists may come between the certificates and the signers.
  Der rest = signed_data;
  uint8_t tag = 0;
  if (Next(&rest, &tag, &ignored) && tag == kContext1) signed_data = rest;
  if (!Expect(&signed_data, kSet, &signer_infos) || !Expect(&signer_infos, kSequence, &signer) ||
      !Expect(&signer, kInteger, &version) ||
      !Expect(&signer, kSequence, &issuer_and_serial) ||
      !Expect(&issuer_and_serial, kSequence, &ignored, &issuer) ||
      !Expect(&issuer_and_serial, kInteger, &serial)) {
    return false;
  }
  return FindSubject(certificates, issuer, serial, &subject) && SimpleDisplayName(subject, name);
}

constexpr uint16_t kCertificateRevision2 = 0x0200;
constexpr uint16_t kPkcsSignedData = 0x0002;
// Larger than any certificate chain a signature carries, small enough to read at once.
constexpr uint32_t kMaxCertificateTable = 1 << 20;
}  // namespace

bool SignerNameOfCertificateTable(const uint8_t* table, size_t size, std::string* name) {
  if (size < 8) return false;
  const uint32_t length = table[0] | (table[1] << 8) | (table[2] << 16) |
                          (static_cast<uint32_t>(table[3]) << 24);
  const uint16_t revision = static_cast<uint16_t>(table[4] | (table[5] << 8));
  const uint16_t type = static_cast<uint16_t>(table[6] | (table[7] << 8));
  if (length < 8 || length > size || revision != kCertificateRevision2 ||
      type != kPkcsSignedData) {
    return false;
  }
  return SignerName(Der{table + 8, length - 8}, name);
}

std::string SignedByLine(const std::string& path) {
  FileSource file(path);
  std::vector<uint8_t> headers(static_cast<size_t>(
      file.Size() < kPeHeaderReadSize ? file.Size() : kPeHeaderReadSize));
  OverlaySpan span;
  if (!file.ok() || !file.ReadAt(0, headers.data(), headers.size()) ||
      !FindOverlay(headers.data(), headers.size(), file.Size(), &span) || !span.signed_file ||
      span.certificate_size > kMaxCertificateTable) {
    return {};
  }
  std::vector<uint8_t> table(span.certificate_size);
  std::string name;
  if (!file.ReadAt(span.end, table.data(), table.size()) ||
      !SignerNameOfCertificateTable(table.data(), table.size(), &name)) {
    return {};
  }
  return "SignedBy=" + name + "\n";
}
