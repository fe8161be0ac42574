#include "ui/application_qt.h"

#include <QAccessible>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QStyle>

#include <exception>

#include "base/exception_display.h"
#include "ui/forms.h"

// The pictures are compiled into a static library, whose resource table the linker would
// drop unless something refers to it.
static void InitPictures() { Q_INIT_RESOURCE(kestrion); }

namespace kestrion {

namespace {

void HidePasswordText(QAccessibleEvent* event);

// Hands an event on as if no handler were installed: to the screen reader's bridge.
void Deliver(QAccessibleEvent* event) {
  QAccessible::installUpdateHandler(nullptr);
  QAccessible::updateAccessibility(event);
  QAccessible::installUpdateHandler(HidePasswordText);
}

// What a password edit shows of a text: its own character for each, or nothing.
QString Masked(const QLineEdit& edit, const QString& text) {
  if (edit.echoMode() == QLineEdit::NoEcho) return {};
  const QChar mask(edit.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &edit));
  return QString(text.size(), mask);
}

// Qt tells a screen reader of each character typed into a password edit, and of each one
// deleted, as it is, and Orca speaks it. Told what the edit shows instead, it says "bullet".
void HidePasswordText(QAccessibleEvent* event) {
  const auto* edit = qobject_cast<const QLineEdit*>(event->object());
  if (edit == nullptr || edit->echoMode() == QLineEdit::Normal) return Deliver(event);
  switch (event->type()) {
    case QAccessible::TextInserted: {
      const auto* inserted = static_cast<const QAccessibleTextInsertEvent*>(event);
      QAccessibleTextInsertEvent shown(event->object(), inserted->changePosition(),
                                       Masked(*edit, inserted->textInserted()));
      return Deliver(&shown);
    }
    case QAccessible::TextRemoved: {
      const auto* removed = static_cast<const QAccessibleTextRemoveEvent*>(event);
      QAccessibleTextRemoveEvent shown(event->object(), removed->changePosition(),
                                       Masked(*edit, removed->textRemoved()));
      return Deliver(&shown);
    }
    case QAccessible::TextUpdated: {
      const auto* updated = static_cast<const QAccessibleTextUpdateEvent*>(event);
      QAccessibleTextUpdateEvent shown(event->object(), updated->changePosition(),
                                       Masked(*edit, updated->textRemoved()),
                                       Masked(*edit, updated->textInserted()));
      return Deliver(&shown);
    }
    default:
      return Deliver(event);
  }
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  InitPictures();
  setApplicationName(QString::fromUtf8(kAppTitle));
  setDesktopFileName(QStringLiteral("kestrion"));
  setWindowIcon(LoadPicture(QStringLiteral("kestrion")));
  // Hiding the bar or closing a dialog must not end the program; only closing the bar does.
  setQuitOnLastWindowClosed(false);
  QAccessible::installUpdateHandler(HidePasswordText);
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
