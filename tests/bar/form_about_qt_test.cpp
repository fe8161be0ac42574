// The about box's real widgets, offscreen.
#include "bar/form_about_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "bar/about.h"
#include "bar/form_main_qt.h"
#include "tests/qt_test_support.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

TEST(FormAbout, PictureAndLabelsStandWhereTheyShould) {
  TFormAbout about;
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8(kAboutCaption));
  EXPECT_EQ(about.size(), QSize(kAboutWidth, kAboutHeight));
  about.show();  // the picture comes with the first show
  EXPECT_EQ(about.Image1->pixmap().deviceIndependentSize().toSize(),
            QSize(kAboutPictureWidth, kAboutPictureHeight));
  for (const AboutLabel& expected : AboutLabels(Maker())) {
    SCOPED_TRACE(expected.name);
    const auto* label = about.findChild<QLabel*>(QString::fromUtf8(expected.name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), expected.text);
    EXPECT_EQ(label->pos(), QPoint(expected.left, expected.top));
    EXPECT_EQ(label->font().family(), QString::fromUtf8(kAboutFontFace));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().underline(), expected.link);
    EXPECT_EQ(label->cursor().shape(), expected.link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    EXPECT_EQ(
        label->palette().color(QPalette::WindowText),
        QColor(kAboutTextColour & 0xFF, (kAboutTextColour >> 8) & 0xFF, kAboutTextColour >> 16));
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::black));
  }
  EXPECT_EQ(about.LabelWebLink->text().toStdString(), Maker().email);
  EXPECT_EQ(about.LabelMailTo->text().toStdString(), Maker().web);
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
