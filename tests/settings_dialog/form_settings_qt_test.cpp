// The settings dialog's real widgets, offscreen, with the settings file and the shortcut
// folders in a temporary home.
#include "settings_dialog/form_settings_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "settings/program_registry.h"
#include "settings/registry_file.h"
#include "settings_dialog/form_settings.h"
#include "tests/poll/counting_poll_thread.h"
#include "tests/qt_test_support.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

namespace fs = std::filesystem;

class FormSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    home = home_.path().toStdString();
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  }

  void Store(const std::string& login, const std::string& pswd) {
    auto reg = OpenProgramRegistry();
    reg->OpenKey(kRegKey, true);
    reg->WriteString("login", login);
    reg->WriteString("pswd", pswd);
  }

  std::string Stored(const std::string& name) {
    auto reg = OpenProgramRegistry();
    reg->OpenKey(kRegKey, false);
    return reg->ValueExists(name) ? reg->ReadString(name) : "(absent)";
  }

  std::string DesktopLink() const { return home + "/Desktop/Kestrion.desktop"; }
  std::string AutostartLink() const { return home + "/config/autostart/Kestrion.desktop"; }

  // Shows the dialog as "Параметры" does, without blocking the test.
  void Open(TFormSettings& dialog) {
    dialog.open();
    QApplication::processEvents();
  }

  std::string home;
  QTemporaryDir home_;
};

// The faces desktops make their sans-serif one (Debian's, GNOME's, KDE's), each standing in
// for the program's "Sans Serif" while the test runs, as a fontconfig alias would.
class FormSettingsAtFace : public FormSettingsTest,
                           public ::testing::WithParamInterface<const char*> {
 protected:
  FormSettingsAtFace() { QFont::insertSubstitution(kFormFontFamilyLinux, GetParam()); }
  ~FormSettingsAtFace() override { QFont::removeSubstitutions(kFormFontFamilyLinux); }
};
INSTANTIATE_TEST_SUITE_P(Desktops, FormSettingsAtFace,
                         ::testing::Values("DejaVu Sans", "Cantarell", "Noto Sans"));

// Every text whole in its control, all within the dialog.
TEST_P(FormSettingsAtFace, LayoutAndTabOrder) {
  TFormSettings dialog;
  dialog.MakeControls();
  ASSERT_EQ(QFontInfo(dialog.boxes[2]->font()).family(), GetParam()) << "tools/bootstrap has it";
  EXPECT_TRUE(QFontInfo(dialog.boxes[2]->font()).bold());
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(kSettingsCaption));
  EXPECT_EQ(dialog.pos(), QPoint(kSettingsLeft, kSettingsTop));
  EXPECT_GE(dialog.width(), kSettingsWidth);
  EXPECT_EQ(dialog.height(), kSettingsHeight);
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  for (const SettingsControl& control : SettingsControls()) {
    SCOPED_TRACE(control.name);
    const auto* widget = dialog.findChild<QWidget*>(QString::fromUtf8(control.name));
    ASSERT_NE(widget, nullptr);
    const QRect place = widget->geometry();
    EXPECT_GE(place.left(), control.place.left);
    EXPECT_EQ(place.top(), control.place.top);
    EXPECT_EQ(place.height(), control.place.height);
    EXPECT_TRUE(widget->parentWidget()->rect().contains(place));
    // The edits show their design-time texts until FormCreate.
    QString caption;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) caption = button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) caption = label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) caption = edit->text();
    const auto* group = qobject_cast<const QGroupBox*>(widget);
    if (group != nullptr) caption = group->title();
    EXPECT_EQ(caption.toStdString(), control.caption);
    const int needs = qobject_cast<const QLineEdit*>(widget) != nullptr ? 0
                      : group != nullptr ? group->minimumSizeHint().width()
                                         : widget->sizeHint().width();
    EXPECT_GE(place.width(), needs) << "the text is cut";
  }
  EXPECT_EQ(dialog.ePswd->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(dialog.BitBtnOk->isDefault());
  const std::vector<QWidget*> order = {dialog.eLogin,      dialog.ePswd,    dialog.boxes[0],
                                       dialog.boxes[1],    dialog.boxes[2], dialog.BitBtnOk,
                                       dialog.BitBtnCancel};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    QWidget* next = order[i]->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_EQ(next, order[i + 1]) << i;
  }
}

TEST_F(FormSettingsTest, StartUpFillsTheEditsAndWritesExistingShortcutsAgain) {
  Store("12345", "secret");
  fs::create_directories(home + "/Desktop");
  std::ofstream(DesktopLink()) << "stale";
  TFormSettings dialog;
  dialog.FormCreate();
  std::ifstream link(DesktopLink());
  const std::string text((std::istreambuf_iterator<char>(link)), {});
  EXPECT_NE(text.find("Exec="), std::string::npos)
      << "rewritten at start, pointing at this program";
  EXPECT_FALSE(fs::exists(AutostartLink()));
  // The controls, made later, show what the start found.
  dialog.MakeControls();
  EXPECT_EQ(dialog.eLogin->text(), "12345");
  EXPECT_EQ(dialog.ePswd->text(), "secret");
  EXPECT_FALSE(dialog.boxes[0]->isChecked());
  EXPECT_TRUE(dialog.boxes[1]->isChecked());

  // A login stored as a number ends the start-up at the reading: the edits keep their
  // design-time texts and no box is ticked.
  auto reg = OpenProgramRegistry();
  reg->OpenKey(kRegKey, false);
  reg->WriteInteger("login", 5);
  TFormSettings broken;
  EXPECT_ANY_THROW(broken.FormCreate());
  broken.MakeControls();
  const auto login = std::find_if(SettingsControls().begin(), SettingsControls().end(),
                                  [](const auto& c) { return c.role == SettingsRole::kLogin; });
  EXPECT_EQ(broken.eLogin->text().toStdString(), login->caption);
  EXPECT_FALSE(broken.boxes[1]->isChecked());
}

TEST_F(FormSettingsTest, OkStoresTrimmedTextsKeepsTheEditsAndStartsAPoll) {
  test::CountingPollThread poll;
  MainThread = poll.thread();

  TFormSettings dialog;
  Open(dialog);
  dialog.eLogin->setText("  user \t");
  dialog.ePswd->setText(" p w ");
  QTest::keyClick(dialog.ePswd, Qt::Key_Return);  // Enter in the password edit acts as OK
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Stored("login"), "user");
  EXPECT_EQ(Stored("pswd"), "p w");
  EXPECT_EQ(dialog.eLogin->text(), "  user \t");
  poll.WaitForPolls(2);
  EXPECT_EQ(poll.polls(), 2) << "the first at start, the second from OK";

  Open(dialog);
  dialog.eLogin->clear();
  dialog.ePswd->clear();
  dialog.BitBtnOk->click();
  EXPECT_EQ(Stored("login"), "");
  EXPECT_EQ(Stored("pswd"), "");
  MainThread = nullptr;
}

TEST_F(FormSettingsTest, CancelAndEscapeStoreNothingAndTheTextsStay) {
  Store("old", "old");
  TFormSettings dialog;
  dialog.FormCreate();
  Open(dialog);
  dialog.eLogin->setText("new");
  QTest::keyClick(dialog.eLogin, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible()) << "Escape is bound to nothing";
  dialog.BitBtnCancel->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(Stored("login"), "old");
  Open(dialog);
  EXPECT_EQ(dialog.eLogin->text(), "new");
  dialog.close();
  EXPECT_EQ(Stored("login"), "old");
}

TEST_F(FormSettingsTest, AFailedSaveSaysSoOnceAndTheDialogStillCloses) {
  // A settings folder that cannot be made, even by root: its parent is a file.
  std::ofstream(home + "/not-a-folder") << "x";
  setenv("XDG_CONFIG_HOME", (home + "/not-a-folder").c_str(), 1);
  TFormSettings dialog;
  Open(dialog);
  int boxes_shown = 0;
  QString text;
  QMessageBox::Icon icon = QMessageBox::Critical;
  std::function<void()> dismiss = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++boxes_shown;
      text = box->text();
      icon = box->icon();
      box->accept();
    } else {
      QTimer::singleShot(10, dismiss);
    }
  };
  QTimer::singleShot(0, dismiss);
  dialog.BitBtnOk->click();
  EXPECT_EQ(boxes_shown, 1);
  EXPECT_EQ(text, "ошибка сохранения параметров");
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FormSettingsTest, BoxesMakeAndRemoveShortcutsAtOnceWhateverCancelDoes) {
  fs::create_directories(home + "/config");  // the autostart folder's parent, as on any desktop
  TFormSettings dialog;
  dialog.FormCreate();
  Open(dialog);
  dialog.boxes[0]->click();
  EXPECT_TRUE(fs::is_regular_file(AutostartLink()));
  dialog.boxes[0]->click();
  dialog.BitBtnCancel->click();
  EXPECT_FALSE(fs::exists(AutostartLink()));
}

}  // namespace
}  // namespace kestrion
