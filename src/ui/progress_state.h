// What the status window and the progress dialog show: the product's title
// and the current status text.
#pragma once
#include <string>

struct ProgressState {
  std::wstring version_file;  // the file whose version resource names the product
  std::wstring title;
  std::wstring product_name;
  std::wstring status_text;
};

// Sets the status text. With an interactive user interface the modeless
// status window shows it (the window itself comes with the dialogs).
void ShowStatus(ProgressState* state, const std::wstring& text);

// Closes the status window when it is shown.
void CloseStatus(ProgressState* state);
