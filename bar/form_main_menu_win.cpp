// The bar's popup menu: built from the menu table, opened by the icon and by a right click,
// and its commands.
#include <optional>
#include <string>

#include "bar/form_about_win.h"
#include "bar/form_main_win.h"
#include "base/text_win.h"
#include "settings_dialog/form_settings_win.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

// The image list's pictures at 96 dpi.
constexpr int kMenuImageSize = 16;
// Between a picture and its caption, as menus that draw their pictures themselves leave.
constexpr int kMenuPictureGap = 5;

int PictureSize(int dpi) { return ScaleForDpi(kMenuImageSize, dpi); }

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
  PrepareMenuPictures(dpi_);
  UpdateVisibilityItems(false);
}

void TFormMain::PrepareMenuPictures(int dpi) {
  if (dpi == menu_dpi_) return;
  menu_dpi_ = dpi;
  const auto& items = BarMenuItems();
  const int size = PictureSize(dpi);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!items[i].image) continue;
    // The icons hold a few sizes; Windows draws the nearest at this one.
    const UniqueIcon icon(LoadImageListIcon(*items[i].image, size));
    menu_pictures_[i].shown.reset(MenuPicture(icon.get(), size));
    menu_pictures_[i].greyed.reset(MenuPicture(icon.get(), size, true));
  }
}

bool TFormMain::MeasureMenuPicture(MEASUREITEMSTRUCT& item) const {
  if (item.CtlType != ODT_MENU || item.itemID < kFirstCommand ||
      item.itemID >= kFirstCommand + menu_pictures_.size()) {
    return false;
  }
  const int size = PictureSize(menu_dpi_);
  item.itemWidth = static_cast<UINT>(size + ScaleForDpi(kMenuPictureGap, menu_dpi_));
  item.itemHeight = static_cast<UINT>(size);
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
  DrawMenuPicture(item.hDC, item.rcItem.left,
                  item.rcItem.top + (height - PictureSize(menu_dpi_)) / 2,
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
      PopupMenu(false);
      break;
    case TrayAction::kNothing:
      break;
  }
}

void TFormMain::PopupMenu(bool from_keyboard) {
  std::optional<BarPoint> pointer;
  if (!from_keyboard) {
    POINT at = {};
    GetCursorPos(&at);
    pointer = BarPoint{at.x, at.y};
  }
  const RECT work_area = MonitorWorkArea(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST));
  const MenuPlace place = BarMenuPlace(Bounds(), BarRectOf(work_area), pointer);
  // The menu opens on the monitor at that point, at that monitor's DPI.
  PrepareMenuPictures(
      MonitorDpi(MonitorFromPoint({place.at.x, place.at.y}, MONITOR_DEFAULTTONEAREST)));
  // Without the foreground the menu would not close when the user clicks elsewhere, and the
  // message after it lets the shell see the menu end (the documented pattern for tray menus).
  SetForegroundWindow(window_);
  TrackPopupMenu(menu_.get(),
                 TPM_LEFTALIGN | (place.upward ? TPM_BOTTOMALIGN : TPM_TOPALIGN) | TPM_RIGHTBUTTON,
                 place.at.x, place.at.y, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void TFormMain::Command(int index) {
  const auto position = static_cast<UINT>(index);
  const BarMenuItem& item = BarMenuItems().at(position);
  if (item.checkable) {
    // A Windows menu keeps a mark but never flips it itself.
    const bool checked = (GetMenuState(menu_.get(), position, MF_BYPOSITION) & MF_CHECKED) != 0;
    CheckMenuItem(menu_.get(), position, MF_BYPOSITION | (checked ? MF_UNCHECKED : MF_CHECKED));
  }
  RunBarCommand(item.command, *this);
}

void TFormMain::UpdateVisibilityItems(bool visible) {
  const auto& items = BarMenuItems();
  for (std::size_t i = 0; i < items.size(); ++i) {
    EnableMenuItem(
        menu_.get(), static_cast<UINT>(i),
        MF_BYPOSITION | (BarMenuItemEnabled(items[i], visible) ? MF_ENABLED : MF_GRAYED));
  }
}

const Settings& TFormMain::HeldSettings() { return FormSettings->settings(); }

void TFormMain::OpenAddress(const std::string& address) { OpenAddressFor(window_, address); }

void TFormMain::ShowDialog(BarDialog dialog) {
  switch (dialog) {
    case BarDialog::kSettings:
      FormSettings->ShowModal();
      break;
    case BarDialog::kAbout:
      FormAbout->ShowModal();
      break;
  }
}

void TFormMain::PlaceBar(const BarRect& bar) {
  SetBounds(bar);
  place_.ChangeEnded(Bounds());
}

void TFormMain::CloseBar() { SendMessageW(window_, WM_CLOSE, 0, 0); }

}  // namespace kestrion
