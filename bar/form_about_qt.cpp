#include "bar/form_about_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>

#include "bar/about.h"
#include "ui/application_qt.h"
#include "ui/forms.h"
#include "ui/shell_open.h"
#include "bar/form_main_qt.h"

namespace kestrion {

TFormAbout* FormAbout = nullptr;

namespace {

constexpr QColor kLabelText(0x63, 0x75, 0xEF);

// An opaque label: a black strip with blue text on the picture.
QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top, bool link) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  QFont font(QStringLiteral("Verdana"), 8, QFont::Bold);
  font.setStyleHint(QFont::SansSerif);
  font.setUnderline(link);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, kLabelText);
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  label->adjustSize();
  label->move(left, top);
  if (link) label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

TFormAbout::TFormAbout()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("О программе"));
  setFixedSize(281, 140);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  const QPixmap picture =
      LoadPicture(QStringLiteral("about_picture")).pixmap(QSize(283, 142), devicePixelRatio());
  Image1->setPixmap(picture);
  Image1->setGeometry(0, 0, 283, 142);  // two pixels wider and taller than the box: clipped

  const MakerContacts& maker = Maker();
  AddLabel(this, QStringLiteral("e-mail:"), 9, 88, false);
  AddLabel(this, QStringLiteral("WWW:"), 9, 106, false);
  LabelWebLink = AddLabel(this, QString::fromStdString(maker.email), 65, 88, true);
  LabelMailTo = AddLabel(this, QString::fromStdString(maker.web), 65, 106, true);
  Label5 = AddLabel(this, QString::fromStdString(maker.notice), 130, 124, false);
  for (QLabel* label : {LabelWebLink, LabelMailTo, Label5}) label->installEventFilter(this);
}

void TFormAbout::showEvent(QShowEvent* event) {
  // Centred over the bar, but never partly off the screen: the bar often stands at an edge.
  if (FormMain != nullptr) {
    QRect place = rect();
    place.moveCenter(FormMain->frameGeometry().center());
    if (const QScreen* screen = FormMain->screen()) {
      const QRect work = screen->availableGeometry();
      place.moveLeft(std::clamp(place.left(), work.left(), work.right() + 1 - place.width()));
      place.moveTop(std::clamp(place.top(), work.top(), work.bottom() + 1 - place.height()));
    }
    move(place.topLeft());
  }
  QDialog::showEvent(event);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
  const bool left_click = event->type() == QEvent::MouseButtonRelease &&
                          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if (watched == LabelWebLink && left_click) LabelWebLinkClick();
  if (watched == LabelMailTo && left_click) LabelMailToClick();
  if (watched == Label5 && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label5DblClick(static_cast<QMouseEvent*>(event)->modifiers());
  }
  return QDialog::eventFilter(watched, event);
}

// Only the close box and the system's close command close the about box.
void TFormAbout::keyPressEvent(QKeyEvent* event) {
  if (IsEscapeBoundToNothing(event)) return;
  QDialog::keyPressEvent(event);
}

void TFormAbout::LabelWebLinkClick() { OpenAddress(MailtoAddress(Maker())); }

void TFormAbout::LabelMailToClick() { OpenAddress(Maker().web); }

void TFormAbout::Label5DblClick(Qt::KeyboardModifiers modifiers) {
  // Shift held at the double click, or at this moment.
  modifiers |= QApplication::queryKeyboardModifiers();
  if (!modifiers.testFlag(Qt::ShiftModifier)) return;
  // No caption of its own: the system's default one.
  QMessageBox box(QMessageBox::Information, QString(), QString::fromUtf8(kGreetingText),
                  QMessageBox::Ok, this);
  box.exec();
}

}  // namespace kestrion
