// screenshot CAPTION OUT.bmp [SECONDS]: waits (default 10 s) for a visible
// top-level window whose caption is CAPTION, gives it half a second to paint,
// and writes what the screen shows of it as a 24-bit BMP. Exit 0 when written,
// 1 when no such window appeared, 2 when the file could not be written.
// scripts/bmp-to-png.py turns the file into a PNG for the documents. Xvfb has
// no window manager, so the caption bar stays black unless the prefix lets
// Wine draw it: HKCU\Software\Wine\X11 Driver, Managed="N".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {
struct Search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  wchar_t text[512] = {};
  InternalGetWindowText(window, text, 512);
  if (!IsWindowVisible(window) || wcscmp(text, search->caption) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

bool WriteBmp(const wchar_t* path, int width, int height, const std::vector<unsigned char>& rows) {
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as GetDIBits gives it
  info.biPlanes = 1;
  info.biBitCount = 24;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + rows.size());
  FILE* out = _wfopen(path, L"wb");
  if (!out) return false;
  bool ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&info, sizeof(info), 1, out) == 1 &&
            fwrite(rows.data(), 1, rows.size(), out) == rows.size();
  return fclose(out) == 0 && ok;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: screenshot CAPTION OUT.bmp [SECONDS]\n");
    return 2;
  }
  int seconds = argc > 3 ? _wtoi(argv[3]) : 10;
  Search search = {argv[1], nullptr};
  for (int waited = 0; !search.found && waited <= seconds * 10; ++waited) {
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(100);
  }
  if (!search.found) return 1;
  Sleep(500);
  RECT rect;
  GetWindowRect(search.found, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> rows(static_cast<size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, rows.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return WriteBmp(argv[2], width, height, rows) ? 0 : 2;
}
