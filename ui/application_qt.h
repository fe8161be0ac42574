#pragma once

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QKeyEvent>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace kestrion {

// The application object: title "Kestrion", the main icon, and the default exception display
// for everything that escapes an event handler, after which the loop goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// One of the program's pictures (":/images/<name>.png") with its 2x drawing. Qt would look
// for the 2x one only on a high-density screen at start, so a bar moved to such a screen
// later would show the 1x one enlarged.
QIcon LoadPicture(const QString& name);

// A colour kept as 0x00BBGGRR, the program's portable spelling of colours.
QColor FromColourValue(std::uint32_t bgr);

// The default exception display: a message box captioned "Kestrion" with a stop icon.
void ShowException(const std::string& message);

// The program's dialogs bind Escape to nothing: true when `event` is Escape, which is then
// left to go nowhere; other keys are the dialog's own.
bool IsEscapeBoundToNothing(QKeyEvent* event);

// Runs a handler; whatever escapes it goes to the default exception display.
void RunGuarded(const std::function<void()>& handler);

// Queues `work` to the application object and returns at once: it runs on the
// user-interface thread once its message loop comes to it. False when it could not be queued.
bool PostToUiThread(std::function<void()> work);

}  // namespace kestrion
