// The default exception display of the Qt program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <stdexcept>

#include "ui/application_qt.h"

namespace kestrion {
namespace {

TEST(ExceptionDisplayQt, ShowsTheMessageWithAFullStopUnderTheTitle) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->accept();
  });
  RunGuarded([] { throw std::runtime_error("Отказано в доступе"); });
  EXPECT_EQ(title, "Kestrion");
  EXPECT_EQ(text, "Отказано в доступе.");
  EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace kestrion
