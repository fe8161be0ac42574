// The about box's real widgets, offscreen.
#include "bar/form_about_qt.h"

#include <QApplication>
#include <QScreen>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "bar/about.h"
#include "ui/forms.h"
#include "bar/form_main_qt.h"
#include "tests/qt_test_support.h"

namespace kestrion {
namespace {

TEST(FormAbout, PictureAndLabelsStandWhereTheyShould) {
  TFormAbout about;
  EXPECT_EQ(about.windowTitle(), "О программе");
  EXPECT_EQ(about.size(), QSize(281, 140));
  EXPECT_EQ(about.Image1->pixmap().deviceIndependentSize().toSize(), QSize(283, 142));
  EXPECT_EQ(about.LabelWebLink->text().toStdString(), Maker().email);
  EXPECT_EQ(about.LabelMailTo->text().toStdString(), Maker().web);
  EXPECT_EQ(about.LabelWebLink->pos(), QPoint(65, 88));
  EXPECT_EQ(about.Label5->pos(), QPoint(130, 124));
  EXPECT_EQ(about.LabelWebLink->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(about.Label5->palette().color(QPalette::WindowText), QColor(0x63, 0x75, 0xEF));
  EXPECT_EQ(about.Label5->palette().color(QPalette::Window), QColor(Qt::black));
}

TEST(FormAbout, TheRowsOpenWhatTheyShow) {
  TFormAbout about;
  {
    test::FakeXdgOpen mail;
    QTest::mouseClick(about.LabelWebLink, Qt::LeftButton);
    EXPECT_EQ(mail.Address(), "mailto:" + Maker().email);
  }
  test::FakeXdgOpen browser;
  QTest::mouseClick(about.LabelMailTo, Qt::LeftButton);
  EXPECT_EQ(browser.Address(), Maker().web);
}

TEST(FormAbout, AShiftDoubleClickOnTheBottomLineGreets) {
  TFormAbout about;
  about.open();
  QString greeting;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  const auto catch_box = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      greeting = box->text();
      icon = box->icon();
      box->accept();
    }
  };
  QTimer::singleShot(0, catch_box);
  QTest::mouseDClick(about.Label5, Qt::LeftButton);
  QTimer::singleShot(0, catch_box);
  QTest::mouseDClick(about.Label5, Qt::RightButton, Qt::ShiftModifier);
  QApplication::processEvents();
  EXPECT_TRUE(greeting.isEmpty()) << "no greeting without Shift, nor for the right button";
  QTimer::singleShot(0, catch_box);
  QTest::mouseDClick(about.Label5, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(greeting, "Превед! ;)");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_TRUE(about.isVisible());
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_TRUE(about.isVisible()) << "Escape is bound to nothing";
}

TEST(FormAbout, ShowsCentredOverTheBarButNeverOffTheScreen) {
  TFormMain bar;
  FormMain = &bar;
  TFormAbout about;
  bar.SetBounds({300, 300, 241, 21});
  about.open();
  EXPECT_LE((about.geometry().center() - bar.geometry().center()).manhattanLength(), 4);
  about.close();
  bar.SetBounds({300, 0, 241, 21});
  about.open();
  EXPECT_TRUE(bar.screen()->availableGeometry().contains(about.geometry()));
  about.close();
  FormMain = nullptr;
}

}  // namespace
}  // namespace kestrion
