#include "app/form_about_qt.h"

#include "app/forms.h"

namespace kestrion {

TFormAbout* FormAbout = nullptr;

TFormAbout::TFormAbout() : QDialog(nullptr) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("О программе"));
}

}  // namespace kestrion
