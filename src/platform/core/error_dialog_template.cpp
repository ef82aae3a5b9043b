#include "platform/core/error_dialog_template.h"

namespace error_dialog {
namespace {
// Window and control styles, as numbers: this file stays free of the
// system headers.
constexpr uint32_t kDialogStyle = 0x80CC08C0;  // popup, caption, system menu, frame, centred
constexpr uint32_t kAppWindow = 0x00040000;    // WS_EX_APPWINDOW
constexpr uint32_t kChild = 0x40000000;
constexpr uint32_t kVisible = 0x10000000;
constexpr uint32_t kStaticIcon = 0x3;          // SS_ICON
constexpr uint32_t kDefaultButton = 0x1;       // BS_DEFPUSHBUTTON
constexpr uint32_t kDetailsEdit = 0x40B018C4;  // hidden, border, scroll bars, multi-line, read-only
constexpr uint16_t kButtonClass = 0x0080;
constexpr uint16_t kEditClass = 0x0081;
constexpr uint16_t kStaticClass = 0x0082;

class Words {
 public:
  void Word(uint16_t value) { words_.push_back(value); }
  void Dword(uint32_t value) {
    Word(static_cast<uint16_t>(value & 0xFFFF));
    Word(static_cast<uint16_t>(value >> 16));
  }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<uint16_t>(c));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2) Word(0);
  }
  void Item(uint16_t atom, uint16_t id, const std::wstring& text, uint32_t style, int x, int y,
            int cx, int cy) {
    AlignToDword();
    Dword(style);
    Dword(0);  // extended style
    for (int v : {x, y, cx, cy}) Word(static_cast<uint16_t>(static_cast<int16_t>(v)));
    Word(id);
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);  // no creation data
  }
  std::vector<uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<uint16_t> words_;
};
}  // namespace

int MainTextLines(const std::wstring& text) {
  int lines = 1;
  for (wchar_t c : text) lines += c == L'\n';
  if (lines < 3) return 3;
  return lines > 30 ? 30 : lines;
}

int MainTextHeight(int lines) {
  return lines * 83 / 10;
}

int ExtraHeight(int lines) {
  return (lines - 3) * 83 / 10;
}

std::vector<uint16_t> BuildTemplate(const std::wstring& caption, const std::wstring& text,
                                    const std::wstring& details, bool has_owner) {
  const int lines = MainTextLines(text);
  const int extra = ExtraHeight(lines);
  const bool with_details = !details.empty();
  Words t;
  t.Dword(kDialogStyle);
  t.Dword(has_owner ? 0 : kAppWindow);
  t.Word(with_details ? 6 : 3);
  for (int v : {0, 0, 350, 60 + extra}) t.Word(static_cast<uint16_t>(v));
  t.Word(0);  // no menu
  t.Word(0);  // the default dialog class
  t.Text(caption);
  t.Word(8);
  t.Text(L"MS Shell Dlg");
  t.Item(kStaticClass, kIconId, L"", kChild | kVisible | kStaticIcon, 10, 10, 21, 21);
  t.Item(kStaticClass, kTextId, text, kChild | kVisible, 38, 10, 306, MainTextHeight(lines));
  t.Item(kButtonClass, kCloseId, L"Close", kChild | kVisible | kDefaultButton, 296, 37 + extra, 50,
         14);
  if (with_details) {
    t.Item(kButtonClass, kDetailsButtonId, L"Details >>", kChild | kVisible, 5, 37 + extra, 50, 14);
    t.Item(kEditClass, kDetailsId, details, kDetailsEdit, 4, 55 + extra, 342, 200);
    t.Item(kButtonClass, kCopyId, L"Copy", kChild, 296, 260 + extra, 50, 14);
  }
  return t.Take();
}
}  // namespace error_dialog
