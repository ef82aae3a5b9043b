#include "install/msix_rules.h"

#include "detect/version.h"
#include "util/wide_format.h"

namespace {
bool StaysAsItIs(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return true;
  for (const wchar_t* allowed = L"-._~!$&'()*+,;=:@/"; *allowed; ++allowed) {
    if (c == *allowed) return true;
  }
  return false;
}

void AppendEscaped(uint32_t byte, std::wstring* out) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  *out += L'%';
  *out += kHex[(byte >> 4) & 0xF];
  *out += kHex[byte & 0xF];
}

// The UTF-8 bytes of a code point, each as a percent escape.
void AppendEscapedCodePoint(uint32_t code, std::wstring* out) {
  if (code < 0x80) {
    AppendEscaped(code, out);
  } else if (code < 0x800) {
    AppendEscaped(0xC0 | (code >> 6), out);
    AppendEscaped(0x80 | (code & 0x3F), out);
  } else if (code < 0x10000) {
    AppendEscaped(0xE0 | (code >> 12), out);
    AppendEscaped(0x80 | ((code >> 6) & 0x3F), out);
    AppendEscaped(0x80 | (code & 0x3F), out);
  } else {
    AppendEscaped(0xF0 | (code >> 18), out);
    AppendEscaped(0x80 | ((code >> 12) & 0x3F), out);
    AppendEscaped(0x80 | ((code >> 6) & 0x3F), out);
    AppendEscaped(0x80 | (code & 0x3F), out);
  }
}
}  // namespace

bool DeploymentSucceeded(int32_t status) {
  return status == kDeploymentCompleted;
}

std::wstring ArchitectureText(int32_t architecture) {
  switch (architecture) {
    case 0:
      return L"x86";
    case 5:
      return L"arm";
    case 9:
      return L"x64";
    case 11:
      return L"neutral";
    case 12:
      return L"arm64";
    default:
      return std::wstring();
  }
}

bool PackageMatches(const StorePackageIdentity& package, const std::wstring& name,
                    const std::wstring& publisher, const std::wstring& architecture) {
  if (package.name != name) return false;
  if (!publisher.empty() && package.publisher != publisher) return false;
  return architecture.empty() || ArchitectureText(package.architecture) == architecture;
}

std::wstring PackageVersionText(const StorePackageIdentity& package) {
  Version version;
  for (int i = 0; i < 4; ++i) version.components[i] = package.version[i];
  return FormatVersion(version);
}

std::wstring FileUriOfPath(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'\\') c = L'/';
  }
  // "//server/share/..." keeps its server as the authority; a drive path
  // has an empty one.
  std::wstring uri = text.compare(0, 2, L"//") == 0 ? L"file:" : L"file:///";
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (StaysAsItIs(c)) {
      uri += c;
      continue;
    }
    uint32_t code = static_cast<uint16_t>(c);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;  // half a pair names no character
    }
    AppendEscapedCodePoint(code, &uri);
  }
  return uri;
}

std::wstring StorePackageFailureLine(uint32_t failure, uint32_t extended_code,
                                     const std::wstring& error_text) {
  // Only a failure code says more than the deployment's own E_FAIL.
  const uint32_t code = (extended_code & 0x80000000u) != 0 ? extended_code : failure;
  std::wstring line = FormatW(L"Store package not installed. Error:0x%08lX",
                              static_cast<unsigned long>(code));
  if (!error_text.empty()) {
    line += L' ';
    // The package manager's text runs over several lines; the log line does not.
    for (wchar_t c : error_text) line += (c == L'\r' || c == L'\n') ? L' ' : c;
    while (line.back() == L' ') line.pop_back();
  }
  return line;
}
