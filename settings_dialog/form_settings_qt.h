#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <memory>

#include "settings/settings.h"
#include "settings_dialog/form_settings.h"
#include "shell/shortcut.h"

namespace kestrion {

// The settings dialog: the login and password, and the three shortcut boxes. It holds the
// program's one settings record from its creation to the end of the program; the poll and
// the statistics command reach the record through it.
//
// Its controls are made when it is first shown (or MakeControls is called): most runs never
// show it, and measuring their texts would load the fonts before the first poll.
class TFormSettings : public QDialog, private SettingsDialogFront {
 public:
  TFormSettings();

  // FormCreate: loads the stored settings into the edits and ticks the boxes whose shortcuts
  // exist, which writes those shortcuts again.
  void FormCreate();

  // Makes the controls below, once; until then they are null. Before FormCreate the edits
  // show their design-time texts.
  void MakeControls();
  void setVisible(bool visible) override;

  Settings& settings() { return settings_; }

  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* eLogin = nullptr;
  QLineEdit* ePswd = nullptr;
  std::array<QCheckBox*, 3> boxes = {};  // Startup, Desktop, Programs
  QPushButton* BitBtnOk = nullptr;
  QPushButton* BitBtnCancel = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BitBtnOkClick();
  std::string FieldText(SettingsRole role) const override;
  void ShowSaveError() override;
  void CloseWithOk() override { accept(); }
  void CheckBoxClick(std::size_t box);
  void ApplyShortcut(std::size_t box, bool ticked);
  // From what FormCreate got to: the record once read, the boxes it ticked.
  void FillControls();

  Settings settings_;
  std::unique_ptr<ShortcutShell> shell_;
  bool loaded_ = false;  // FormCreate has read the settings
  std::array<bool, std::tuple_size_v<decltype(boxes)>> ticked_ = {};
};

}  // namespace kestrion
