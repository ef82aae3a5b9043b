#include "detect/applicability.h"

bool LanguageListAccepts(const std::wstring& list, uint16_t language_id) {
  if (list.empty()) return true;
  size_t start = 0;
  for (size_t end = list.find(L';'); end != std::wstring::npos; end = list.find(L';', start)) {
    uint32_t value = 0;
    for (size_t i = start; i < end && list[i] >= L'0' && list[i] <= L'9'; ++i) {
      value = value * 10u + static_cast<uint32_t>(list[i] - L'0');
    }
    if (static_cast<uint16_t>(value & 0xFFFFu) == language_id) return true;
    start = end + 1;
  }
  return false;
}

bool ProcessorRulesExclude(const std::wstring& options, NativeMachine machine) {
  const bool not_on_arm64 = options.find(L'c') != std::wstring::npos;
  const bool only_on_arm64 = options.find(L'd') != std::wstring::npos;
  switch (machine) {
    case NativeMachine::Arm64:
      return not_on_arm64;
    case NativeMachine::Other:
    case NativeMachine::NoApi:
      return only_on_arm64;
    case NativeMachine::CallFailed:
      return false;
  }
  return false;
}
