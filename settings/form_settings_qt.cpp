#include "settings/form_settings_qt.h"

#include "app/forms.h"
#include "settings/program_registry.h"

namespace kestrion {

TFormSettings* FormSettings = nullptr;

TFormSettings::TFormSettings()
    : QDialog(nullptr), settings_(OpenProgramRegistry, ProgramStringTable()) {
  setObjectName(QStringLiteral("FormSettings"));
  setWindowTitle(QStringLiteral("Параметры"));
}

void TFormSettings::FormCreate() {
  // Whether the settings are complete does not matter here; the poll says so.
  settings_.ReadSettings();
}

}  // namespace kestrion
