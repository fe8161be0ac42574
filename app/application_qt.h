#pragma once

#include <QApplication>

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

// The default exception display: a message box captioned "Kestrion" with a stop icon.
void ShowException(const std::string& message);

// Runs a handler; whatever escapes it goes to the default exception display.
void RunGuarded(const std::function<void()>& handler);

}  // namespace kestrion
