// kestrion: the bar on the desktop and the icon in the notification area.
#include <QByteArray>

#include <cstdlib>
#include <utility>

#include "ui/application_qt.h"
#include "bar/form_about_qt.h"
#include "ui/forms.h"
#include "poll/program_poll.h"
#include "app/quit_signals.h"
#include "bar/form_main_qt.h"
#include "settings/form_settings_qt.h"
#include "settings/program_registry.h"

namespace {

// A window cannot place itself or stay above others under Wayland; XWayland lets it.
void PreferXWayland() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY")) {
    return;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrion;
  PreferXWayland();
  // The program takes nothing from its command line, Qt's own options included.
  int qt_argc = argc > 0 ? 1 : 0;
  Application app(qt_argc, argv);
  RunGuarded([&app] {
    // Each global is set before its form's creation handler runs; a failing handler is
    // shown and start-up goes on.
    FormMain = new TFormMain();
    RunGuarded([] { FormMain->FormCreate(); });
    FormAbout = new TFormAbout();
    FormSettings = new TFormSettings();
    RunGuarded([] { FormSettings->FormCreate(); });
    OnQuitSignals([] { FormMain->close(); });
    // The session is ending (the user may still cancel it): keep the bar's place. The
    // session manager's SIGTERM or quit then ends the program as "Выход" does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest,
                     [] { SaveBarGeometry(OpenProgramRegistry, FormMain->Bounds()); });
    FormMain->show();
    Application::exec();
  });
  // A poll waiting on the network is abandoned, not waited for; none touches the windows now.
  EndPollThread(MainThread);
  // The last created first; the bar's destruction removes the icon and saves the geometry.
  delete std::exchange(FormSettings, nullptr);
  delete std::exchange(FormAbout, nullptr);
  delete std::exchange(FormMain, nullptr);
  return 0;
}
