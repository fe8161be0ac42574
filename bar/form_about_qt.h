#pragma once

#include <QDialog>
#include <QLabel>

namespace kestrion {

// The about box: the maker's picture, the e-mail and web rows, and a bottom line that greets
// those who double-click it with Shift held. Hidden until "О программе" shows it modally.
class TFormAbout : public QDialog {
 public:
  TFormAbout();

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* LabelWebLink = nullptr;  // the e-mail row
  QLabel* LabelMailTo = nullptr;   // the web row
  QLabel* Label5 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void LabelWebLinkClick();
  void LabelMailToClick();
  void Label5DblClick(Qt::KeyboardModifiers modifiers);
};

}  // namespace kestrion
