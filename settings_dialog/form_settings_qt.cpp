#include "settings_dialog/form_settings_qt.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalBlocker>

#include <vector>

#include "poll/poll_thread.h"
#include "settings/program_registry.h"
#include "settings_dialog/form_settings.h"
#include "ui/application_qt.h"
#include "ui/forms.h"

namespace kestrion {

TFormSettings* FormSettings = nullptr;

namespace {

constexpr const char* kIconName = "kestrion";

// The width a control's text needs in the face it is drawn in: a check box's with its box, a
// button's with its picture, the group box's caption with its frame; 0 for the edits' texts,
// which scroll.
int TextWidth(const QWidget* widget, SettingsRole role) {
  switch (role) {
    case SettingsRole::kLogin:
    case SettingsRole::kPswd:
    case SettingsRole::kBevel:
      return 0;
    case SettingsRole::kGroupBox:
      return widget->minimumSizeHint().width();
    default:
      return widget->sizeHint().width();
  }
}

}  // namespace

TFormSettings::TFormSettings()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      settings_(OpenProgramRegistry, ProgramStringTable()),
      shell_(MakeProgramShortcutShell(kIconName)) {
  setObjectName(QStringLiteral("FormSettings"));
  setWindowTitle(QString::fromUtf8(kSettingsCaption));
  setFixedSize(kSettingsWidth, kSettingsHeight);
  move(kSettingsLeft, kSettingsTop);
  QFont font(QString::fromUtf8(kFormFontFamilyLinux), kFormFontPoints);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
}

void TFormSettings::setVisible(bool visible) {
  if (visible) MakeControls();
  QDialog::setVisible(visible);
}

void TFormSettings::MakeControls() {
  if (GroupBox1 != nullptr) return;
  QFont bold = font();
  bold.setBold(true);

  // The group box first: it is the parent of all the others.
  const SettingsControl& group = SettingsControls().back();
  GroupBox1 = new QGroupBox(QString::fromUtf8(group.caption), this);
  GroupBox1->setFont(bold);

  std::vector<QWidget*> widgets;  // SettingsControls()'s
  std::vector<QWidget*> tab_order;
  QLabel* login_label = nullptr;
  QLabel* pswd_label = nullptr;
  std::size_t box = 0;
  for (const SettingsControl& control : SettingsControls()) {
    const QString caption = QString::fromUtf8(control.caption);
    QWidget* widget = nullptr;
    switch (control.role) {
      case SettingsRole::kLoginLabel:
        widget = login_label = new QLabel(caption, GroupBox1);
        break;
      case SettingsRole::kPswdLabel:
        widget = pswd_label = new QLabel(caption, GroupBox1);
        break;
      case SettingsRole::kLogin:
        widget = eLogin = new QLineEdit(caption, GroupBox1);
        break;
      case SettingsRole::kPswd:
        widget = ePswd = new QLineEdit(caption, GroupBox1);
        ePswd->setEchoMode(QLineEdit::Password);
        // Qt draws a dot; the user sees stars, as on the other platform.
        ePswd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
        break;
      case SettingsRole::kShortcutBox: {
        QCheckBox* check_box = boxes.at(box) = new QCheckBox(caption, GroupBox1);
        // Ticked by the program or by the user alike, the handler runs.
        connect(check_box, &QCheckBox::toggled, this, [this, box] { CheckBoxClick(box); });
        widget = check_box;
        ++box;
        break;
      }
      case SettingsRole::kOk:
        widget = BitBtnOk =
            new QPushButton(LoadPicture(QStringLiteral("button_ok")), caption, GroupBox1);
        BitBtnOk->setDefault(true);
        connect(BitBtnOk, &QPushButton::clicked, this, [this] { BitBtnOkClick(); });
        break;
      case SettingsRole::kCancel:
        widget = BitBtnCancel =
            new QPushButton(LoadPicture(QStringLiteral("button_cancel")), caption, GroupBox1);
        connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
        break;
      case SettingsRole::kBevel: {
        auto* bevel = new QFrame(GroupBox1);
        bevel->setFrameShape(QFrame::HLine);
        bevel->setFrameShadow(QFrame::Sunken);
        widget = bevel;
        break;
      }
      case SettingsRole::kGroupBox:
        widget = GroupBox1;
        break;
    }
    widget->setObjectName(QString::fromUtf8(control.name));
    widgets.push_back(widget);
    if (widget->focusPolicy() != Qt::NoFocus) tab_order.push_back(widget);
  }
  // The desktop's sans-serif face may run wider than the one the places were made for.
  std::vector<int> text_widths;
  for (std::size_t i = 0; i < widgets.size(); ++i) {
    text_widths.push_back(TextWidth(widgets[i], SettingsControls()[i].role));
  }
  const SettingsLayout layout = LayOutSettings(text_widths, kDesignDpi);
  for (std::size_t i = 0; i < widgets.size(); ++i) {
    const ControlPlace& place = layout.places[i];
    widgets[i]->setGeometry(place.left, place.top, place.width, place.height);
  }
  setFixedSize(layout.width, layout.height);
  login_label->setBuddy(eLogin);
  pswd_label->setBuddy(ePswd);
  for (std::size_t i = 0; i + 1 < tab_order.size(); ++i) {
    setTabOrder(tab_order[i], tab_order[i + 1]);
  }
  FillControls();
}

void TFormSettings::FormCreate() {
  settings_.ReadSettings();
  loaded_ = true;
  for (std::size_t i = 0; i < ticked_.size(); ++i) {
    ticked_[i] = ShortcutExists(*shell_, ShortcutBoxes()[i].csidl, kAppTitle);
    // Ticked by the program, the box writes its shortcut again, as a tick by the user would.
    if (ticked_[i]) ApplyShortcut(i, true);
  }
  if (GroupBox1 != nullptr) FillControls();
}

void TFormSettings::FillControls() {
  if (loaded_) {
    eLogin->setText(QString::fromStdString(settings_.record().Login));
    ePswd->setText(QString::fromStdString(settings_.record().Pswd));
  }
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const QSignalBlocker written_already(boxes[i]);
    boxes[i]->setChecked(ticked_[i]);
  }
}

void TFormSettings::CheckBoxClick(std::size_t box) { ApplyShortcut(box, boxes[box]->isChecked()); }

void TFormSettings::ApplyShortcut(std::size_t box, bool ticked) {
  ApplyShortcutBox(*shell_, ShortcutBoxes()[box].csidl, ticked,
                   QCoreApplication::applicationFilePath().toStdString(), kAppTitle);
}

void TFormSettings::BitBtnOkClick() { ConfirmSettings(*this, OpenProgramRegistry, MainThread); }

std::string TFormSettings::FieldText(SettingsRole role) const {
  switch (role) {
    case SettingsRole::kLogin:
      return eLogin->text().toStdString();
    case SettingsRole::kPswd:
      return ePswd->text().toStdString();
    default:
      return {};
  }
}

void TFormSettings::ShowSaveError() {
  // No icon, one button, centred on the screen.
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle),
                  QString::fromUtf8(kSaveErrorText), QMessageBox::Ok);
  box.exec();
}

void TFormSettings::keyPressEvent(QKeyEvent* event) {
  // Enter goes on to the default button.
  if (IsEscapeBoundToNothing(event)) return;
  QDialog::keyPressEvent(event);
}

}  // namespace kestrion
