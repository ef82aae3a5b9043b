#include "utf8_text.h"

#include <cstdint>

namespace {
void AppendWide(uint32_t code, std::wstring* out) {
  if (sizeof(wchar_t) == 2 && code >= 0x10000) {
    code -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
  } else {
    out->push_back(static_cast<wchar_t>(code));
  }
}
}  // namespace

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      const uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(code, &out);
  }
  return out;
}

bool FromUtf8(const std::string& bytes, std::wstring* out) {
  out->clear();
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t lead = static_cast<uint8_t>(bytes[i]);
    size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2
                                 : (lead & 0xF8) == 0xF0 ? 3 : 4;
    if (extra > 3 || bytes.size() - i <= extra) return false;
    uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const uint8_t next = static_cast<uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      return false;
    }
    AppendWide(code, out);
    i += extra + 1;
  }
  return true;
}
