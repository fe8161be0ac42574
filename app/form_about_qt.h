#pragma once

#include <QDialog>

namespace kestrion {

// The about box, hidden until "О программе" shows it modally.
class TFormAbout : public QDialog {
 public:
  TFormAbout();
};

}  // namespace kestrion
