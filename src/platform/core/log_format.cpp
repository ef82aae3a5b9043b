#include "platform/core/log_format.h"

#include <cstring>

#include "util/wide_format.h"

const wchar_t kLogBanner[] = L"\r\n<< Corvane (x86) Log >>\r\n";
const wchar_t kEndOfLogText[] = L"=====================End of Log=====================\r\n";
const wchar_t kUnknownCpu[] = L"UnkownCPU";  // the spelling readers of old logs grep for
const wchar_t kFallbackLogFolder[] = L"CORVANE_LOGS";

std::wstring FormatLogTimestamp(int year, int month, int day, int hour, int minute, int second) {
  return FormatW(L"%04d-%02d-%02d %02d-%02d-%02d", year, month, day, hour, minute, second);
}

std::wstring FormatOsVersionLine(const OsFacts& facts) {
  return FormatW(L"OS Version: %u.%u.%u SP%u (%s) [%s]\r\n", facts.major, facts.minor, facts.build,
                 facts.service_pack, facts.is_server ? L"server" : L"workstation",
                 facts.is_64bit ? L"x64" : L"x86");
}

std::wstring FormatCpuLine(const std::wstring& brand) {
  return L"CPU: " + brand + L"\r\n";
}

std::wstring CpuBrandFromRegisters(uint32_t max_extended_leaf, const uint32_t (&registers)[12]) {
  if (max_extended_leaf < 0x80000004u) return kUnknownCpu;
  char brand[49] = {};
  std::memcpy(brand, registers, 48);
  // Plain ASCII by definition; each byte becomes one UTF-16 unit.
  std::wstring text;
  for (const char* c = brand; *c; ++c) text.push_back(static_cast<unsigned char>(*c));
  return text;
}

namespace {
// Where the extension starts in the file-name part of a path, or npos.
size_t ExtensionDot(const std::wstring& path) {
  size_t dot = path.rfind(L'.');
  size_t slash = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
    return std::wstring::npos;
  }
  return dot;
}

std::wstring WithLogExtension(const std::wstring& path) {
  size_t dot = ExtensionDot(path);
  return (dot == std::wstring::npos ? path + L"." : path.substr(0, dot + 1)) + L"LOG";
}
}  // namespace

std::wstring LogFileNameFor(const std::wstring& executable_path) {
  size_t slash = executable_path.find_last_of(L"\\/");
  return WithLogExtension(slash == std::wstring::npos ? executable_path
                                                      : executable_path.substr(slash + 1));
}

std::wstring ExecutableLogPath(const std::wstring& executable_path) {
  return WithLogExtension(executable_path);
}

bool FitsLogPathBuffer(const std::wstring& path) {
  return path.size() < kLogPathBufferUnits;
}
