// The bar's popup menu: built from the menu table, opened by the icon and by a right click,
// and its commands.
#include <algorithm>
#include <string>

#include "bar/form_about_win.h"
#include "bar/form_main_win.h"
#include "base/text_codec.h"
#include "base/text_win.h"
#include "settings/form_settings_win.h"
#include "ui/application_win.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

constexpr int kMenuImageSize = 16;
// Between a picture and its caption, as menus that draw their pictures themselves leave.
constexpr int kMenuPictureGap = 5;

UINT CommandId(const std::string& name) {
  const auto& items = BarMenuItems();
  const auto found = std::find_if(items.begin(), items.end(),
                                  [&name](const BarMenuItem& item) { return name == item.name; });
  return TFormMain::kFirstCommand + static_cast<UINT>(found - items.begin());
}

}  // namespace

void TFormMain::BuildMenu() {
  menu_.reset(CreatePopupMenu());
  const auto& items = BarMenuItems();
  menu_pictures_.resize(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const BarMenuItem& item = items[i];
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    if (item.caption[0] == '\0') {
      info.fMask = MIIM_FTYPE;
      info.fType = MFT_SEPARATOR;
      InsertMenuItemW(menu_.get(), static_cast<UINT>(i), TRUE, &info);
      continue;
    }
    const std::wstring caption = Utf8ToWide(item.caption);
    const UniqueIcon icon(LoadImageListIcon(item.image, kMenuImageSize));
    menu_pictures_[i].shown.reset(MenuPicture(icon.get(), kMenuImageSize));
    menu_pictures_[i].greyed.reset(MenuPicture(icon.get(), kMenuImageSize, true));
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_BITMAP | MIIM_STATE;
    info.fType = MFT_STRING;
    info.wID = kFirstCommand + static_cast<UINT>(i);
    info.dwTypeData = const_cast<wchar_t*>(caption.c_str());
    // Handed over as bitmaps, 32-bit pictures lose their transparency on the classic theme
    // and in Wine; asked for at drawing time, they keep it everywhere.
    info.hbmpItem = HBMMENU_CALLBACK;
    info.fState = MFS_ENABLED;
    InsertMenuItemW(menu_.get(), static_cast<UINT>(i), TRUE, &info);
  }
  UpdateVisibilityItems(false);
}

bool TFormMain::MeasureMenuPicture(MEASUREITEMSTRUCT& item) const {
  if (item.CtlType != ODT_MENU || item.itemID < kFirstCommand ||
      item.itemID >= kFirstCommand + menu_pictures_.size()) {
    return false;
  }
  item.itemWidth = kMenuImageSize + kMenuPictureGap;
  item.itemHeight = kMenuImageSize;
  return true;
}

bool TFormMain::DrawMenuItemPicture(const DRAWITEMSTRUCT& item) const {
  if (item.CtlType != ODT_MENU || item.itemID < kFirstCommand ||
      item.itemID >= kFirstCommand + menu_pictures_.size()) {
    return false;
  }
  const MenuPictures& pictures = menu_pictures_[item.itemID - kFirstCommand];
  const bool disabled = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const int height = item.rcItem.bottom - item.rcItem.top;
  DrawMenuPicture(item.hDC, item.rcItem.left, item.rcItem.top + (height - kMenuImageSize) / 2,
                  (disabled ? pictures.greyed : pictures.shown).get());
  return true;
}

void TFormMain::TrayIconMessage(LPARAM lparam) {
  TrayEvent event = TrayEvent::kOther;
  if (lparam == WM_LBUTTONDOWN) event = TrayEvent::kLeftPress;
  if (lparam == WM_RBUTTONDOWN) event = TrayEvent::kRightPress;
  switch (TrayReaction(event, IsWindowVisible(window_) != FALSE)) {
    case TrayAction::kHideBar:
      Hide();
      break;
    case TrayAction::kShowBar:
      Show();
      break;
    case TrayAction::kMenuAtPointer:
      PopupMenuAtPointer();
      break;
    case TrayAction::kNothing:
      break;
  }
}

void TFormMain::PopupMenuAtPointer() {
  POINT at = {};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere, and the
  // message after it lets the shell see the menu end (the documented pattern for tray menus).
  SetForegroundWindow(window_);
  TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0,
                 window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void TFormMain::Command(int index) {
  switch (BarMenuItems().at(static_cast<std::size_t>(index)).command) {
    case BarCommand::kStat:
      OpenAddressFor(window_, Cp1251ToUtf8(FormSettings->settings().GetStatURL()));
      break;
    case BarCommand::kSettings:
      FormSettings->ShowModal();
      break;
    case BarCommand::kHide:
      Hide();
      break;
    case BarCommand::kShow:
      Show();
      break;
    case BarCommand::kTop: {
      const UINT id = CommandId("NTop");
      const bool checked = (GetMenuState(menu_.get(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
      CheckMenuItem(menu_.get(), id, MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
      SetBounds(MoveBarToTop(Bounds()));
      place_.ChangeEnded(Bounds());
      break;
    }
    case BarCommand::kAbout:
      FormAbout->ShowModal();
      break;
    case BarCommand::kExit:
      SendMessageW(window_, WM_CLOSE, 0, 0);
      break;
    case BarCommand::kNone:
      break;
  }
}

void TFormMain::UpdateVisibilityItems(bool visible) {
  const VisibilityItems state = VisibilityItemsFor(visible);
  EnableMenuItem(menu_.get(), CommandId("NHide"),
                 MF_BYCOMMAND | (state.hide_enabled ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu_.get(), CommandId("NShow"),
                 MF_BYCOMMAND | (state.show_enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace kestrion
