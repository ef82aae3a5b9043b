// What the status window and the progress dialogs show: the product's title
// and the current status text, and the small modeless status window itself.
#pragma once
#include <windows.h>

#include <string>

struct ProgressState {
  std::wstring version_file;  // the file whose version resource names the product
  std::wstring title;
  std::wstring product_name;
  std::wstring status_text;
  HWND window = nullptr;     // the status window while it is shown
  HWND dialog = nullptr;     // the progress dialog while it is shown
  DWORD thread = 0;          // the thread that created it
  bool show_skip = false;    // never set by the chain
  int text_right_edge = -1;  // static text's right edge in the template
};

// Fills the title ("<product> Setup") when it is empty.
void EnsureTitle(ProgressState* state);

// Shows the text in the status window, creating the window on the calling
// thread the first time. Nothing is shown without an interactive interface.
void ShowStatus(ProgressState* state, const std::wstring& text);

// Closes the status window: directly on its own thread, through a message
// from any other, waiting until it is gone.
void CloseStatus(ProgressState* state);
