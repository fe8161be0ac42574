#pragma once

#include <QDialog>

#include "settings/settings.h"

namespace kestrion {

// The settings dialog. It holds the program's one settings record from its creation to the
// end of the program; the poll and the statistics command reach the record through it.
class TFormSettings : public QDialog {
 public:
  TFormSettings();

  // FormCreate: loads the stored settings.
  void FormCreate();

  Settings& settings() { return settings_; }

 private:
  Settings settings_;
};

}  // namespace kestrion
