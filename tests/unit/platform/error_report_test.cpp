// The error report dialog: its template word by word, and the live dialog
// driven the way a user would (details, copy, resizing, close).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/core/error_dialog_template.h"
#include "platform/core/exception_presenter.h"

namespace {
using namespace error_dialog;

TEST(ErrorDialogTemplate, HeightFollowsTheMainTextWithinLimits) {
  EXPECT_EQ(MainTextLines(L""), 3);
  EXPECT_EQ(MainTextLines(L"a\nb\nc\nd"), 4);
  EXPECT_EQ(MainTextLines(std::wstring(39, L'\n')), 30);
  EXPECT_EQ(MainTextHeight(3), 24);
  EXPECT_EQ(ExtraHeight(3), 0);
  EXPECT_EQ(MainTextHeight(4), 33);
  EXPECT_EQ(ExtraHeight(4), 8);
  EXPECT_EQ(MainTextHeight(30), 249);
  EXPECT_EQ(ExtraHeight(30), 224);
}

struct Item {
  uint32_t style;
  int16_t x, y, cx, cy;
  uint16_t id, atom;
  std::wstring text;
};

// Reads a template back the way the dialog manager does.
std::vector<Item> ReadItems(const std::vector<uint16_t>& w, uint32_t* style, uint32_t* ex_style,
                            int* height, std::wstring* caption) {
  size_t i = 0;
  auto dword = [&] {
    uint32_t v = w[i] | (uint32_t(w[i + 1]) << 16);
    i += 2;
    return v;
  };
  auto text = [&] {
    std::wstring s;
    while (w[i]) s += wchar_t(w[i++]);
    ++i;
    return s;
  };
  *style = dword();
  *ex_style = dword();
  const uint16_t count = w[i++];
  i += 3;  // x, y, cx
  *height = w[i++];
  EXPECT_EQ(w[i++], 0);  // menu
  EXPECT_EQ(w[i++], 0);  // class
  *caption = text();
  EXPECT_EQ(w[i++], 8);
  EXPECT_EQ(text(), L"MS Shell Dlg");
  std::vector<Item> items;
  for (uint16_t n = 0; n < count; ++n) {
    if (i % 2) ++i;
    Item item;
    item.style = dword();
    EXPECT_EQ(dword(), 0u);
    item.x = int16_t(w[i++]);
    item.y = int16_t(w[i++]);
    item.cx = int16_t(w[i++]);
    item.cy = int16_t(w[i++]);
    item.id = w[i++];
    EXPECT_EQ(w[i++], 0xFFFF);
    item.atom = w[i++];
    item.text = text();
    EXPECT_EQ(w[i++], 0);
    items.push_back(item);
  }
  EXPECT_EQ(i, w.size());
  return items;
}

TEST(ErrorDialogTemplate, ControlsInOrderWithDetailsOnlyWhenGiven) {
  uint32_t style = 0, ex_style = 0;
  int height = 0;
  std::wstring caption;
  auto items = ReadItems(BuildTemplate(L"Error", L"one\ntwo\nthree\nfour", L"trace", false), &style,
                         &ex_style, &height, &caption);
  EXPECT_EQ(style, 0x80CC08C0u);
  EXPECT_EQ(ex_style, DWORD(WS_EX_APPWINDOW));  // no owner: its own taskbar button
  EXPECT_EQ(height, 68);
  EXPECT_EQ(caption, L"Error");
  ASSERT_EQ(items.size(), 6u);
  const uint16_t ids[] = {500, 501, 1, 503, 502, 504};
  for (size_t n = 0; n < 6; ++n) EXPECT_EQ(items[n].id, ids[n]);
  EXPECT_EQ(items[1].text, L"one\ntwo\nthree\nfour");
  EXPECT_EQ(items[1].cy, 33);
  EXPECT_EQ(items[2].text, L"Close");
  EXPECT_EQ(items[2].y, 45);
  EXPECT_EQ(items[3].text, L"Details >>");
  EXPECT_EQ(items[4].text, L"trace");
  EXPECT_EQ(items[4].atom, 0x81);
  EXPECT_EQ(items[4].style, 0x40B018C4u);
  EXPECT_EQ(items[4].y, 63);
  EXPECT_EQ(items[5].style & WS_VISIBLE, 0u);  // Copy waits for the details
  EXPECT_EQ(items[5].y, 268);

  items = ReadItems(BuildTemplate(L"Error", L"", L"", true), &style, &ex_style, &height, &caption);
  EXPECT_EQ(ex_style, 0u);
  EXPECT_EQ(height, 60);
  ASSERT_EQ(items.size(), 3u);  // icon, text, Close
  EXPECT_EQ(items[2].id, 1);
}

HWND WaitForWindow(const wchar_t* caption) {
  for (int i = 0; i < 200; ++i) {
    HWND w = FindWindowW(L"#32770", caption);
    if (w && IsWindowVisible(w)) return w;
    Sleep(25);
  }
  return nullptr;
}

bool Shown(HWND control) {
  return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

SIZE WindowSize(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

TEST(ErrorReportDialog, DetailsOpenCopyAndHoldTheirSize) {
  const std::wstring details = L"Access violation at 0x00401000\r\n  #0 Main() main.cpp:12";
  std::thread shown([&] {
    ErrorReportDialog::Show(nullptr, L"Error report test", L"The setup failed.", details);
  });
  HWND dialog = WaitForWindow(L"Error report test");
  ASSERT_TRUE(dialog);
  HWND edit = GetDlgItem(dialog, 502);
  EXPECT_FALSE(Shown(edit));
  const SIZE collapsed = WindowSize(dialog);

  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(503, BN_CLICKED), 0);
  wchar_t text[32] = {};
  GetDlgItemTextW(dialog, 503, text, 32);
  EXPECT_STREQ(text, L"Details <<");
  EXPECT_TRUE(Shown(edit));
  EXPECT_TRUE(Shown(GetDlgItem(dialog, 504)));
  const SIZE expanded = WindowSize(dialog);
  EXPECT_EQ(expanded.cx, collapsed.cx);
  EXPECT_GT(expanded.cy, collapsed.cy);

  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(504, BN_CLICKED), 0);
  EXPECT_EQ(ClipboardText(), details);

  // Larger: the details grow with the window; smaller: not below the open size.
  SetWindowPos(dialog, nullptr, 0, 0, expanded.cx + 100, expanded.cy + 50,
               SWP_NOMOVE | SWP_NOZORDER);
  RECT grown;
  GetWindowRect(edit, &grown);
  SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  const SIZE shrunk = WindowSize(dialog);
  EXPECT_GE(shrunk.cx, expanded.cx);
  EXPECT_GE(shrunk.cy, expanded.cy);
  RECT back;
  GetWindowRect(edit, &back);
  EXPECT_EQ((grown.right - grown.left) - (back.right - back.left), 100);  // followed both ways

  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(503, BN_CLICKED), 0);
  EXPECT_FALSE(Shown(edit));
  EXPECT_EQ(WindowSize(dialog).cy, collapsed.cy);

  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  shown.join();  // Show returns once closed
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ErrorReportDialog, WithoutDetailsThereIsNothingToOpen) {
  std::thread shown([] { ErrorReportDialog::Show(nullptr, L"Plain error test", L"Failed.", L""); });
  HWND dialog = WaitForWindow(L"Plain error test");
  ASSERT_TRUE(dialog);
  EXPECT_EQ(GetDlgItem(dialog, 503), nullptr);
  EXPECT_EQ(GetDlgItem(dialog, 502), nullptr);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Escape
  shown.join();
}
}  // namespace
