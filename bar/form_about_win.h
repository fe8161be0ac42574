#pragma once

#include <windows.h>

#include "base/scoped_win.h"

namespace kestrion {

// The about box: the maker's picture, the e-mail and web rows, and a bottom line that greets
// those who double-click it with Shift held. Hidden until "О программе" shows it modally;
// the same window each time.
class TFormAbout {
 public:
  TFormAbout();
  ~TFormAbout();
  TFormAbout(const TFormAbout&) = delete;
  TFormAbout& operator=(const TFormAbout&) = delete;

  // Shows the box centred over the bar, the program's other windows disabled until it is
  // closed; always 2 (closed).
  int ShowModal();
  HWND handle() const { return window_; }
  // The DPI the box is laid out at: that of the monitor it was last shown on.
  int dpi() const { return dpi_; }

  // The controls, for tests.
  HWND Image1 = nullptr;
  HWND Label1 = nullptr;
  HWND Label2 = nullptr;
  HWND LabelWebLink = nullptr;  // the e-mail row
  HWND LabelMailTo = nullptr;   // the web row
  HWND Label5 = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  // The client area, the picture and the labels at `dpi`; the window's place stays.
  void LayOut(int dpi);
  void LabelWebLinkClick();
  void LabelMailToClick();
  void Label5DblClick();

  UniqueBitmap design_picture_;  // as stored, for 96 dpi
  UniqueBitmap picture_;         // scaled from it for another DPI
  UniqueFont label_font_;
  UniqueFont link_font_;
  HWND window_ = nullptr;
  int dpi_ = 0;  // none yet
  bool closed_ = false;
};

}  // namespace kestrion
