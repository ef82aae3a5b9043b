// The reference scanner on its own, without <windows.h>, so that it builds
// natively for the fuzz targets; folder_properties.cpp passes it the machine.
#include "util/folder_properties.h"

std::wstring ExpandReferences(const std::wstring& text, const ReferenceResolver& resolve) {
  std::wstring result;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t opener = text.find_first_of(L"[%!", pos);
    if (opener == std::wstring::npos) {
      result.append(text, pos, std::wstring::npos);
      break;
    }
    result.append(text, pos, opener - pos);
    ReferenceKind kind;
    size_t closer;
    switch (text[opener]) {
      case L'[':
        kind = ReferenceKind::FolderProperty;
        closer = text.find(L']', opener);
        break;
      case L'%':
        kind = ReferenceKind::Environment;
        closer = text.find(L'%', opener + 1);
        break;
      default:
        // A registry reference always has a name of at least one character.
        kind = ReferenceKind::Registry;
        closer = text.find(L'!', opener + 2);
        break;
    }
    if (closer == std::wstring::npos) {
      result.append(text, opener, std::wstring::npos);
      break;
    }
    const std::wstring name = text.substr(opener + 1, closer - opener - 1);
    std::wstring value;
    if (resolve && resolve(kind, name, &value)) {
      result += value;
    } else if (kind == ReferenceKind::FolderProperty) {
      result.append(text, opener, closer - opener + 1);
    }
    pos = closer + 1;
  }
  return result;
}
