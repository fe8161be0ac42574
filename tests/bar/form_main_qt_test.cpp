// The bar's real widgets under the offscreen platform, with the settings file in a temporary
// folder.
#include "bar/form_main_qt.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "bar/status.h"
#include "settings/program_registry.h"
#include "settings/registry_file.h"
#include "settings_dialog/form_settings_qt.h"
#include "tests/poll/counting_poll_thread.h"
#include "tests/qt_test_support.h"
#include "ui/application_qt.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    setenv("XDG_CONFIG_HOME", dir_.path().toUtf8().constData(), 1);
    form_ = std::make_unique<TFormMain>();
  }

  void WriteSettings(const std::string& values) {
    const std::string path = DefaultRegistryFilePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
                        << values;
  }

  void MouseOnLabel(QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const QPointF local(at);
    QMouseEvent event(type, local, form_->LabelMain->mapToGlobal(local), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(form_->LabelMain, &event);
  }

  QTemporaryDir dir_;
  std::unique_ptr<TFormMain> form_;
};

TEST_F(FormMainTest, IsACaptionlessBlackToolWindowAboveOthers) {
  const Qt::WindowFlags flags = form_->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_EQ(form_->windowTitle(), QString::fromUtf8(kAppTitle));
  EXPECT_EQ(form_->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(form_->Bounds(),
            (BarRect{kBarDesignLeft, kBarDesignTop, kBarDesignClientWidth + 2 * TFormMain::kFrame,
                     kBarDesignClientHeight + 2 * TFormMain::kFrame}));
  EXPECT_EQ(form_->minimumSize(), QSize(kBarMinWidth, kBarMinHeight));
  EXPECT_EQ(form_->maximumHeight(), kBarMaxHeight);
  EXPECT_EQ(form_->LabelMain->text(), "LabelMain");
  EXPECT_EQ(form_->LabelMain->alignment(), Qt::AlignCenter);
  EXPECT_TRUE(form_->font().bold());
  EXPECT_EQ(form_->font().pointSize(), kFormFontPoints);
  EXPECT_TRUE(form_->Timer1->isActive());
  ASSERT_EQ(form_->ImageList1.size(), 9u);
  for (const QIcon& image : form_->ImageList1) {
    EXPECT_EQ(image.pixmap(16).size(), QSize(16, 16));
    EXPECT_EQ(image.pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32)) << "2x drawn, not scaled";
  }
  EXPECT_FALSE(QApplication::windowIcon().pixmap(32).isNull());
  EXPECT_EQ(form_->Timer1->interval(), 20000);
}

// Through the real timer, only made quicker here; the program never changes its interval.
TEST_F(FormMainTest, EachTickOfTheTimerWakesThePoll) {
  test::CountingPollThread poll;
  MainThread = poll.thread();
  form_->Timer1->setInterval(50);
  EXPECT_TRUE(poll.WaitForPolls(4, [] { QApplication::processEvents(); }))
      << "the first poll, then one a tick";
  MainThread = nullptr;
}

TEST_F(FormMainTest, TheMenuShowsItsTableWithTheItemsOwnPictures) {
  const QList<QAction*> actions = form_->mainPopupMenu->actions();
  const auto& items = BarMenuItems();
  ASSERT_EQ(static_cast<std::size_t>(actions.size()), items.size());
  const auto image = [](const QImage& picture) {
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  };
  for (std::size_t i = 0; i < items.size(); ++i) {
    const BarMenuItem& item = items[i];
    QAction* action = actions[static_cast<qsizetype>(i)];
    EXPECT_EQ(action->isSeparator(), item.command == BarCommand::kNone) << i;
    EXPECT_EQ(action->text(), QString::fromUtf8(item.caption)) << i;
    EXPECT_EQ(action->isCheckable(), item.checkable) << item.caption;
    if (action->isSeparator()) continue;
    EXPECT_EQ(form_->MenuItem(item.command), action) << item.caption;
    const QImage shown = image(action->icon().pixmap(16).toImage());
    // Each item's own picture, compared with the drawing itself.
    const QString drawing = kImageNames[static_cast<int>(item.image.value())];
    const QImage wanted = image(QImage(KESTRION_IMAGES "/" + drawing + ".png"));
    ASSERT_FALSE(wanted.isNull()) << item.caption;
    EXPECT_EQ(shown, wanted) << item.caption << " shows another picture";
  }
  QAction* top = form_->MenuItem(BarCommand::kTop);
  form_->SetBounds({40, 500, 300, 20});
  top->trigger();
  top->trigger();
  EXPECT_FALSE(top->isChecked());
  EXPECT_EQ(form_->Bounds(), (BarRect{40, 0, 300, 20})) << "every choice moves it up";
  auto reg = OpenProgramRegistry();
  reg->OpenKey("Software\\Kestrion", false);
  EXPECT_EQ(reg->ReadInteger("Top"), 0) << "the place is stored at once";
}

TEST_F(FormMainTest, TheItemsFollowTheBarsVisibility) {
  const auto expect_items_for = [this](bool visible) {
    const auto& items = BarMenuItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(form_->mainPopupMenu->actions()[static_cast<qsizetype>(i)]->isEnabled(),
                BarMenuItemEnabled(items[i], visible))
          << items[i].caption << (visible ? " while shown" : " while hidden");
    }
  };
  form_->show();
  expect_items_for(true);
  MouseOnLabel(QEvent::MouseButtonDblClick, Qt::LeftButton, {5, 5});
  EXPECT_FALSE(form_->isVisible());
  expect_items_for(false);
  form_->MenuItem(BarCommand::kShow)->trigger();
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(FormMainTest, TheLeftButtonDragsTheBarByTheLabel) {
  form_->show();
  form_->SetBounds({100, 100, 241, 21});
  MouseOnLabel(QEvent::MouseButtonPress, Qt::RightButton, {10, 5});
  MouseOnLabel(QEvent::MouseMove, Qt::RightButton, {30, 9});
  EXPECT_EQ(form_->Bounds(), (BarRect{100, 100, 241, 21}));
  MouseOnLabel(QEvent::MouseButtonRelease, Qt::RightButton, {30, 9});
  MouseOnLabel(QEvent::MouseButtonPress, Qt::LeftButton, {10, 5});
  MouseOnLabel(QEvent::MouseMove, Qt::LeftButton, {30, 9});
  EXPECT_EQ(form_->Bounds(), (BarRect{120, 104, 241, 21}));
  MouseOnLabel(QEvent::MouseButtonRelease, Qt::LeftButton, {30, 9});
  MouseOnLabel(QEvent::MouseMove, Qt::NoButton, {50, 9});
  EXPECT_EQ(form_->Bounds(), (BarRect{120, 104, 241, 21}));
}

// The rules of the restore are the portable code's; here the bar takes what the settings
// file holds, and a place off every screen comes onto the primary one.
TEST_F(FormMainTest, TheBarStandsWhereTheSettingsFileSaysUnlessThatIsOffEveryScreen) {
  WriteSettings(
      "\"Top\"=dword:00000010\n\"Left\"=dword:00000020\n\"Width\"=dword:0000012c\n"
      "\"Height\"=dword:0000001e\n");
  form_->RestoreGeometry();
  EXPECT_EQ(form_->Bounds(), (BarRect{32, 16, 300, 30}));
  WriteSettings("\"Top\"=dword:00002000\n\"Left\"=dword:ffffd8f0\n");  // -10000, 8192
  form_->RestoreGeometry();
  const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(work.contains(form_->geometry())) << form_->x() << "," << form_->y();
}

TEST_F(FormMainTest, DestroyingTheBarSavesItsGeometry) {
  form_->SetBounds({-15, 33, 400, 30});
  form_.reset();
  auto reg = OpenProgramRegistry();
  reg->OpenKey("Software\\Kestrion", false);
  EXPECT_EQ(reg->ReadInteger("Top"), 33);
  EXPECT_EQ(reg->ReadInteger("Left"), -15);
  EXPECT_EQ(reg->ReadInteger("Width"), 400);
  EXPECT_EQ(reg->ReadInteger("Height"), 30);
}

TEST_F(FormMainTest, ShowStatusColoursTheTextAndSetsIconAndTip) {
  form_->AddTrayIcon();
  EXPECT_EQ(form_->TrayIcon->toolTip(), "Kestrion");
  form_->ShowStatus({"Ваш баланс: 10", true});
  EXPECT_EQ(form_->LabelMain->text(), "Ваш баланс: 10");
  EXPECT_EQ(form_->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_EQ(form_->windowIcon().cacheKey(), form_->ImageList1[4].cacheKey());
  EXPECT_EQ(form_->TrayIcon->icon().pixmap(16).toImage(),
            form_->ImageList1[4].pixmap(16).toImage());
  EXPECT_TRUE(form_->TrayIcon->icon().availableSizes().contains(QSize(32, 32)))
      << "large panels get the 2x drawing, not the 16-pixel one scaled up";
  EXPECT_EQ(form_->TrayIcon->toolTip(), "Kestrion : Ваш баланс: 10");
  form_->ShowStatus({"", false});
  EXPECT_EQ(form_->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form_->windowIcon().cacheKey(), form_->ImageList1[3].cacheKey());
  EXPECT_EQ(form_->TrayIcon->toolTip(), "Kestrion : ");
}

// Counts the events a window gets when its icon or colours are set.
class LookChanges : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::WindowIconChange || event->type() == QEvent::PaletteChange) {
      ++count;
    }
    return false;
  }
};

// Each poll's status made the tray's pictures anew, and Qt keeps a scaled copy of each icon
// by the icon it came from: memory grew by every poll for days.
TEST_F(FormMainTest, EachPictureIsMadeOnceAndSetOnlyWhenTheStatusChangesIt) {
  form_->AddTrayIcon();
  LookChanges changes;
  form_->installEventFilter(&changes);
  std::vector<qint64> tray;  // the icon's picture after each status
  std::vector<int> looks;    // the window's icon and colour changes so far
  for (const bool ok : {true, true, true, false, false, true}) {
    form_->ShowStatus({ok ? "Ваш баланс: 10" : "Ошибка", ok});
    tray.push_back(form_->TrayIcon->icon().cacheKey());
    looks.push_back(changes.count);
  }
  EXPECT_EQ(tray[1], tray[0]);
  EXPECT_EQ(tray[2], tray[0]);
  EXPECT_NE(tray[3], tray[0]);
  EXPECT_EQ(tray[4], tray[3]);
  EXPECT_EQ(tray[5], tray[0]) << "an ok status after an error shows the ok picture made before";
  EXPECT_EQ(looks[2], looks[0]) << "the same status again sets no icon and no colour";
  EXPECT_EQ(looks[4], looks[3]);
  EXPECT_GT(looks[3], looks[2]);
  EXPECT_GT(looks[5], looks[4]);
  form_->removeEventFilter(&changes);
}

// What an XEmbed tray shows of a tip: Qt draws it itself and, like any of its labels, takes
// text that looks like markup for markup.
QString TipAsDrawn(const QString& tip) {
  if (!Qt::mightBeRichText(tip)) return tip;
  QTextDocument drawn;
  drawn.setHtml(tip);
  return drawn.toPlainText();
}

TEST_F(FormMainTest, TheTipIsTheStatusTipAndServerTextStaysText) {
  form_->AddTrayIcon();
  std::string long_text;
  for (int i = 0; i < 117; ++i) long_text += "ж";
  form_->ShowStatus({long_text, true});
  EXPECT_EQ(form_->TrayIcon->toolTip().toStdString(), StatusTip(long_text));
  EXPECT_EQ(form_->LabelMain->text().toStdString(), long_text);
  // Of a megabyte of error text the bar lays out only what it could ever show.
  std::string huge;
  for (int i = 0; i < (1 << 19); ++i) huge += "ж";
  form_->ShowStatus({huge, false});
  EXPECT_EQ(form_->LabelMain->text().size(), static_cast<qsizetype>(kMaxBarChars));
  const std::string markup = "<b>Долг</b> &amp; <img src=x>";
  form_->ShowStatus({markup, false});
  EXPECT_EQ(form_->LabelMain->textFormat(), Qt::PlainText);
  EXPECT_EQ(form_->LabelMain->text().toStdString(), markup);
  EXPECT_EQ(TipAsDrawn(form_->TrayIcon->toolTip()).toStdString(), StatusTip(markup));
}

TEST_F(FormMainTest, AStatusReachesAHiddenBarWithoutShowingIt) {
  form_->hide();
  form_->ShowStatus({"Интернет отсутствует", false});
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(form_->LabelMain->text(), "Интернет отсутствует");
}

TEST_F(FormMainTest, TrayPressesToggleTheBarOrOpenTheMenu) {
  form_->AddTrayIcon();
  form_->show();
  form_->TrayIconMessage(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form_->isVisible());
  form_->TrayIconMessage(QSystemTrayIcon::DoubleClick);
  form_->TrayIconMessage(QSystemTrayIcon::MiddleClick);
  EXPECT_FALSE(form_->isVisible());
  // The icon carries the bar's menu and opens it itself, so a right press does not open it
  // a second time.
  EXPECT_EQ(form_->TrayIcon->contextMenu(), form_->mainPopupMenu);
  form_->TrayIconMessage(QSystemTrayIcon::Context);
  EXPECT_FALSE(form_->mainPopupMenu->isVisible());
  form_->TrayIconMessage(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(FormMainTest, AnotherStartHandsTheKeyboardToTheStatusAndItsKeysOpenTheMenuAtTheBar) {
  form_->ShowStatus({"Ваш баланс: 41.50", true});
  form_->SetBounds({100, 100, 235, 21});
  form_->show();
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  QApplication::processEvents();
  form_->BringIntoView();
  QApplication::processEvents();
  EXPECT_TRUE(form_->LabelMain->hasFocus());

  // A screen reader meets a window named after the program, and in it the status, focused.
  const QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(form_.get());
  EXPECT_EQ(bar->role(), QAccessible::Window);
  EXPECT_EQ(bar->text(QAccessible::Name), QStringLiteral("Kestrion"));
  const QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form_->LabelMain);
  EXPECT_EQ(status->role(), QAccessible::StatusBar);
  EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("Ваш баланс: 41.50"));
  EXPECT_TRUE(status->state().focused);

  const QPoint below_bar(form_->Bounds().left, form_->Bounds().top + form_->Bounds().height);
  for (const auto& [key, modifiers] :
       {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
    QCursor::setPos(0, 0);  // the pointer is no part of it
    QTest::keyClick(form_->LabelMain, key, modifiers);
    ASSERT_TRUE(form_->mainPopupMenu->isVisible()) << key;
    EXPECT_EQ(form_->mainPopupMenu->pos(), below_bar) << key;
    EXPECT_EQ(form_->mainPopupMenu->activeAction(), form_->MenuItem(BarCommand::kStat)) << key;
    QTest::keyClick(form_->mainPopupMenu, Qt::Key_Escape);
    EXPECT_FALSE(form_->mainPopupMenu->isVisible()) << key;
  }
  QTest::keyClick(form_->LabelMain, Qt::Key_F10);
  EXPECT_FALSE(form_->mainPopupMenu->isVisible());
  // At the foot of the screen it opens above the bar, clear of the text just read.
  form_->SetBounds({100, form_->screen()->availableGeometry().bottom() - 30, 235, 21});
  QTest::keyClick(form_->LabelMain, Qt::Key_Menu);
  EXPECT_EQ(form_->mainPopupMenu->geometry().bottom() + 1, form_->Bounds().top);
  QTest::keyClick(form_->mainPopupMenu, Qt::Key_Escape);
}

TEST_F(FormMainTest, StatisticsOpensTheEncodedAddressInTheBrowser) {
  test::FakeXdgOpen browser;
  WriteSettings("\"login\"=\"a&b\"\n\"pswd\"=\"x\"\n");
  TFormSettings settings;
  settings.FormCreate();
  FormSettings = &settings;
  form_->MenuItem(BarCommand::kStat)->trigger();
  FormSettings = nullptr;
  // Byte for byte as built: no percent sign (the encoded "&" of the login among them) decoded
  // or encoded again on its way to the browser.
  EXPECT_EQ(browser.Address(), settings.settings().GetStatURL());
}

}  // namespace
}  // namespace kestrion
