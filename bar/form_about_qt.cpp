#include "bar/form_about_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>

#include <array>
#include <optional>

#include "bar/about.h"
#include "bar/form_main_qt.h"
#include "ui/application_qt.h"
#include "ui/forms.h"
#include "ui/shell_open.h"

namespace kestrion {

TFormAbout* FormAbout = nullptr;

namespace {

// A label of the about box: an opaque black strip with blue text on the picture. It takes the
// size of its text when the box is first shown.
QLabel* AddLabel(QWidget* parent, const AboutLabel& place) {
  auto* label = new QLabel(QString::fromStdString(place.text), parent);
  label->setObjectName(QString::fromUtf8(place.name));
  label->setTextFormat(Qt::PlainText);
  QFont font(QString::fromUtf8(kAboutFontFace), kAboutFontPoints, QFont::Bold);
  font.setStyleHint(QFont::SansSerif);
  font.setUnderline(place.link);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, FromColourValue(kAboutTextColour));
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  label->move(place.left, place.top);
  if (place.link) label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

TFormAbout::TFormAbout()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QString::fromUtf8(kAboutCaption));
  setFixedSize(kAboutWidth, kAboutHeight);

  // The picture is drawn, and the labels measured, when the box is first shown: most runs never
  // show it, and every run would otherwise decode the picture and load the fonts before its
  // first poll.
  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, kAboutPictureWidth, kAboutPictureHeight);

  const std::array<AboutLabel, 5> labels = AboutLabels(Maker());
  QLabel** const members[] = {&Label1, &Label2, &LabelWebLink, &LabelMailTo, &Label5};
  static_assert(std::size(members) == std::tuple_size_v<decltype(labels)>);
  for (std::size_t i = 0; i < labels.size(); ++i) *members[i] = AddLabel(this, labels[i]);
  for (QLabel* label : {LabelWebLink, LabelMailTo, Label5}) label->installEventFilter(this);
}

void TFormAbout::showEvent(QShowEvent* event) {
  if (Image1->pixmap().isNull()) {
    Image1->setPixmap(
        LoadPicture(QStringLiteral("about_picture"))
            .pixmap(QSize(kAboutPictureWidth, kAboutPictureHeight), devicePixelRatio()));
    for (QLabel* label : {Label1, Label2, LabelWebLink, LabelMailTo, Label5}) label->adjustSize();
  }
  // Centred over the bar, but never partly off the screen: the bar often stands at an edge.
  std::optional<BarRect> bar;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (FormMain != nullptr) {
    const QRect frame = FormMain->frameGeometry();
    bar = BarRect{frame.x(), frame.y(), frame.width(), frame.height()};
    screen = FormMain->screen();
  }
  if (screen != nullptr) {
    const QRect work = screen->availableGeometry();
    const QSize size = frameGeometry().size();
    const BarRect place = AboutPlace(size.width(), size.height(), bar,
                                     {work.x(), work.y(), work.width(), work.height()});
    move(place.left, place.top);
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
