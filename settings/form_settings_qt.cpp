#include "settings/form_settings_qt.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMessageBox>

#include "ui/application_qt.h"
#include "ui/forms.h"
#include "poll/main_thread.h"
#include "settings/form_settings.h"
#include "settings/program_registry.h"

namespace kestrion {

TFormSettings* FormSettings = nullptr;

namespace {

constexpr const char* kIconName = "kestrion";

}  // namespace

TFormSettings::TFormSettings()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      settings_(OpenProgramRegistry, ProgramStringTable()),
      shell_(MakeProgramShortcutShell(kIconName)) {
  setObjectName(QStringLiteral("FormSettings"));
  setWindowTitle(QStringLiteral("Параметры"));
  setFixedSize(455, 114);
  move(395, 426);
  QFont font(QStringLiteral("Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);

  GroupBox1 = new QGroupBox(QStringLiteral("Параметры"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(3, 0, 449, 111);
  QFont bold = font;
  bold.setBold(true);
  GroupBox1->setFont(bold);

  auto* label2 = new QLabel(QStringLiteral("PIN1"), GroupBox1);
  label2->setGeometry(8, 24, 29, 13);
  auto* label3 = new QLabel(QStringLiteral("PIN2"), GroupBox1);
  label3->setGeometry(8, 48, 29, 13);

  // The texts the edits hold until FormCreate replaces them.
  eLogin = new QLineEdit(QStringLiteral("1"), GroupBox1);
  eLogin->setObjectName(QStringLiteral("eLogin"));
  eLogin->setGeometry(63, 20, 200, 21);
  ePswd = new QLineEdit(QStringLiteral("123"), GroupBox1);
  ePswd->setObjectName(QStringLiteral("ePswd"));
  ePswd->setGeometry(63, 45, 200, 21);
  ePswd->setEchoMode(QLineEdit::Password);
  // Qt draws a dot; the user sees stars, as on the other platform.
  ePswd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  label2->setBuddy(eLogin);
  label3->setBuddy(ePswd);

  constexpr std::array<std::array<int, 2>, 3> kBoxPlaces = {{{8, 97}, {105, 177}, {288, 153}}};
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const ShortcutBox& box = ShortcutBoxes()[i];
    boxes[i] = new QCheckBox(QString::fromUtf8(box.caption), GroupBox1);
    boxes[i]->setObjectName(QString::fromUtf8(box.name));
    boxes[i]->setGeometry(kBoxPlaces[i][0], 88, kBoxPlaces[i][1], 16);
    // Linux sans-serif faces run wider than the one these places were made for: in bold the
    // captions would be cut, so the boxes keep the regular weight.
    QFont regular = font;
    regular.setBold(false);
    boxes[i]->setFont(regular);
    // Ticked by the program or by the user alike, the handler runs.
    connect(boxes[i], &QCheckBox::toggled, this, [this, i] { CheckBoxClick(i); });
  }

  BitBtnOk = new QPushButton(LoadPicture(QStringLiteral("button_ok")), QStringLiteral("OK"),
                             GroupBox1);
  BitBtnOk->setObjectName(QStringLiteral("BitBtnOk"));
  BitBtnOk->setGeometry(362, 18, 79, 25);
  BitBtnOk->setDefault(true);
  connect(BitBtnOk, &QPushButton::clicked, this, [this] { BitBtnOkClick(); });
  BitBtnCancel = new QPushButton(LoadPicture(QStringLiteral("button_cancel")),
                                 QStringLiteral("&Отмена"), GroupBox1);
  BitBtnCancel->setObjectName(QStringLiteral("BitBtnCancel"));
  BitBtnCancel->setGeometry(362, 48, 79, 25);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* bevel1 = new QFrame(GroupBox1);
  bevel1->setFrameShape(QFrame::HLine);
  bevel1->setFrameShadow(QFrame::Sunken);
  bevel1->setGeometry(7, 79, 434, 2);

  setTabOrder(eLogin, ePswd);
  setTabOrder(ePswd, boxes[0]);
  setTabOrder(boxes[0], boxes[1]);
  setTabOrder(boxes[1], boxes[2]);
  setTabOrder(boxes[2], BitBtnOk);
  setTabOrder(BitBtnOk, BitBtnCancel);
}

void TFormSettings::FormCreate() {
  settings_.ReadSettings();
  eLogin->setText(QString::fromStdString(settings_.record().Login));
  ePswd->setText(QString::fromStdString(settings_.record().Pswd));
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    boxes[i]->setChecked(ShortcutExists(*shell_, ShortcutBoxes()[i].csidl, kAppTitle));
  }
}

void TFormSettings::CheckBoxClick(std::size_t box) {
  const bool ticked = boxes[box]->isChecked();
  ApplyShortcutBox(*shell_, ShortcutBoxes()[box].csidl, ticked,
                   QCoreApplication::applicationFilePath().toStdString(), kAppTitle);
}

void TFormSettings::BitBtnOkClick() {
  if (!StoreCredentials(OpenProgramRegistry, eLogin->text().toStdString(),
                        ePswd->text().toStdString())) {
    // No icon, one button, centred on the screen.
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle),
                    QString::fromUtf8(kSaveErrorText), QMessageBox::Ok);
    box.exec();
  }
  if (MainThread != nullptr) MainThread->ResumeForNewSettings();
  accept();
}

void TFormSettings::keyPressEvent(QKeyEvent* event) {
  // Enter goes on to the default button.
  if (IsEscapeBoundToNothing(event)) return;
  QDialog::keyPressEvent(event);
}

}  // namespace kestrion
