#include "ui/application_qt.h"

#include <QIcon>
#include <QMessageBox>
#include <QPixmap>

#include <exception>

#include "base/exception_display.h"
#include "ui/forms.h"

// The pictures are compiled into a static library, whose resource table the linker would
// drop unless something refers to it.
static void InitPictures() { Q_INIT_RESOURCE(kestrion); }

namespace kestrion {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  InitPictures();
  setApplicationName(QString::fromUtf8(kAppTitle));
  setDesktopFileName(QStringLiteral("kestrion"));
  setWindowIcon(LoadPicture(QStringLiteral("kestrion")));
  // Hiding the bar or closing a dialog must not end the program; only closing the bar does.
  setQuitOnLastWindowClosed(false);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunGuarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

QIcon LoadPicture(const QString& name) {
  // Read as PNG by name: asked to find the format out, Qt loads every image-format plugin it
  // has (JPEG's library among them) to try each on the file.
  QIcon icon;
  icon.addPixmap(QPixmap(QStringLiteral(":/images/%1.png").arg(name), "PNG"));
  icon.addPixmap(QPixmap(QStringLiteral(":/images/%1@2x.png").arg(name), "PNG"));
  return icon;
}

QColor FromColourValue(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

void ShowException(const std::string& message) {
  QWidget* owner = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle),
                  QString::fromStdString(ExceptionDisplayText(message)), QMessageBox::Ok, owner);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void RunGuarded(const std::function<void()>& handler) { RunGuarded(handler, ShowException); }

bool PostToUiThread(std::function<void()> work) {
  return QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
}

bool IsEscapeBoundToNothing(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return false;
  event->ignore();
  return true;
}

}  // namespace kestrion
