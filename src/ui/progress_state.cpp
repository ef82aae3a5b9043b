#include "ui/progress_state.h"

void ShowStatus(ProgressState* state, const std::wstring& text) {
  state->status_text = text;
}

void CloseStatus(ProgressState*) {}
