// The error report: what happened, in a short text, with the fault and its
// stack trace in a details pane that can be opened and copied.
#pragma once
#include <windows.h>

#include <exception>
#include <string>
#include <vector>

class IException;

class ErrorReportDialog {
 public:
  // Modal; returns when the user closes it. A dialog that cannot be created
  // is not reported: the caller goes on as after Close.
  static void Show(HWND owner, const std::wstring& caption, const std::wstring& text,
                   const std::wstring& details);

 private:
  struct Anchored {
    int id;
    unsigned anchors;
    RECT rect;  // client coordinates when the layout was recorded
  };

  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void Initialize(HWND dialog);
  void ToggleDetails();
  void CopyDetails();
  void RecordLayout();
  void FollowSize(int width, int height);

  HWND dialog_ = nullptr;
  HFONT details_font_ = nullptr;
  RECT collapsed_ = {};
  RECT expanded_ = {};
  std::vector<Anchored> layout_;
  SIZE client_at_layout_ = {};
  SIZE min_track_ = {};
  bool expanded_now_ = false;
};

// Shows the error report with the caption "Error" and returns when it is
// closed. Details equal to the text are left out; an owner that is no longer
// a window is not used.
void PresentError(HWND owner, const std::wstring& text, const std::wstring& details);

// The report's main text: string 65001 of the executable (a plain sentence
// for the end user), empty when the string table lacks it.
std::wstring ReportMainText();

// Shows an exception through PresentError, its message as the details.
class ExceptionPresenter {
 public:
  void Present(const IException& exception) const;
  void Present(const std::exception& exception) const;
};
