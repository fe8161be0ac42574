// kestrion: the bar on the desktop and the icon in the notification area.
#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program.h"
#include "app/quit_signals.h"
#include "bar/form_about_qt.h"
#include "bar/form_main_qt.h"
#include "poll/program_poll.h"
#include "settings/program_registry.h"
#include "settings_dialog/form_settings_qt.h"
#include "ui/application_qt.h"
#include "ui/forms.h"
#include "ui/single_copy_qt.h"

namespace {

// A window cannot place itself or stay above others under Wayland; XWayland lets it.
void PreferXWayland() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY")) {
    return;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
}

// The Qt program's part of the start and the end.
class QtFront final : public kestrion::ProgramFront {
 public:
  explicit QtFront(kestrion::Application& app) : app_(app) {}

  void ShowException(const std::string& message) override { kestrion::ShowException(message); }

  // Another start asks for the bar as "Развернуть" shows it; while this copy is still making
  // its windows, the bar is about to be shown anyway.
  bool TakeSessionCopy() override {
    return kestrion::ClaimSessionCopy([] {
      if (kestrion::FormMain != nullptr) kestrion::FormMain->BringIntoView();
    });
  }

  void Run() override {
    using namespace kestrion;
    OnQuitSignals([] { FormMain->close(); });
    // The session is ending (the user may still cancel it): keep the bar's place. The
    // session manager's SIGTERM or quit then ends the program as "Выход" does.
    QObject::connect(&app_, &QGuiApplication::commitDataRequest,
                     [] { SaveBarGeometry(OpenProgramRegistry, FormMain->Bounds()); });
    // Shown from the loop: the first poll's hand-over, queued as the bar was made, runs first,
    // so that its request is under way while the bar lays out its text.
    const auto show_bar = [] { FormMain->show(); };
    QMetaObject::invokeMethod(FormMain, show_bar, Qt::QueuedConnection);
    Application::exec();
  }

  // A poll waiting on the network is abandoned, not waited for; none touches the windows now.
  void LoopEnded() override { poll_ended_ = kestrion::EndPollThread(kestrion::MainThread); }

  bool poll_ended() const { return poll_ended_; }

 private:
  kestrion::Application& app_;
  bool poll_ended_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrion;
  CatchQuitSignals();
  PreferXWayland();
  // The program takes nothing from its command line, Qt's own options included.
  int qt_argc = argc > 0 ? 1 : 0;
  Application app(qt_argc, argv);
  QtFront front(app);
  RunProgram(front, FormMain, FormAbout, FormSettings);
  // Everything is saved. A poll thread still inside the network library must not meet its
  // clean-up at exit (OpenSSL's among it) nor the application's destruction: the process
  // ends here, without them.
  if (!front.poll_ended()) {
    std::fflush(nullptr);
    std::_Exit(0);
  }
  return 0;
}
