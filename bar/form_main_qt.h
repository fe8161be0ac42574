#pragma once

#include <QAction>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "bar/form_main.h"
#include "bar/status.h"
#include "poll/reply_status.h"
#include "settings/program_registry.h"

namespace kestrion {

// The bar: a captionless, always-on-top tool window with a thin frame to resize it by, the
// status text in the middle, its popup menu and the notification-area icon.
class TFormMain : public QWidget, private BarFront {
 public:
  TFormMain();
  ~TFormMain() override;  // FormDestroy: removes the icon, saves the geometry

  // FormCreate: adds the icon, restores the geometry, starts the poll thread.
  void FormCreate();
  void AddTrayIcon();
  void RestoreGeometry();
  void TrayIconMessage(QSystemTrayIcon::ActivationReason reason);
  void ShowStatus(const Status& status);
  // Another start of the program asks for the bar: shown and raised as "Развернуть" does,
  // and given the keyboard focus, on its text, for a screen reader to speak.
  void BringIntoView();

  // The place the user sees (the frame a window manager put around the bar included) and the
  // bar's size: asked of the window system, or the place asked for while it is on its way.
  BarRect Bounds() const override;
  // Places the bar so that the user sees it at `bar` (held to the size limits).
  void SetBounds(const BarRect& bar);
  // After the screens have changed: a bar they no longer show whole is brought onto one.
  void KeepWhole();
  void setVisible(bool visible) override;

  // The components, named as in the rest of the program.
  QLabel* LabelMain = nullptr;
  QMenu* mainPopupMenu = nullptr;
  QAction* MenuItem(BarCommand command) const;  // the item of mainPopupMenu that runs it
  std::vector<QIcon> ImageList1;
  QTimer* Timer1 = nullptr;
  QSystemTrayIcon* TrayIcon = nullptr;

  // The frame around the label, by which the bar is resized.
  static constexpr int kFrame = 3;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void BuildMenu();
  void LabelMainMouseDown(QMouseEvent* event);
  void LabelMainMouseMove(QMouseEvent* event);
  void LabelMainMouseUp();
  void LabelMainDblClick();
  void Timer1Timer();
  void ShowModalOverBar(QDialog* dialog);
  void PopupMenuAtBar();
  void UpdateVisibilityItems(bool visible);
  // What the menu's commands do here.
  void HideBar() override { hide(); }
  void ShowBar() override;
  const Settings& HeldSettings() override;
  void OpenAddress(const std::string& address) override;
  void ShowDialog(BarDialog dialog) override;
  void PlaceBar(const BarRect& bar) override;
  void CloseBar() override { close(); }
  void RemoveTrayIcon();
  // The icon's picture of image `image` of ImageList1, at the sizes panels draw.
  const QIcon& TrayPicture(std::size_t image);
  unsigned EdgesAt(const QPoint& pos) const;
  void StartPlaceChecks();
  void WatchScreens();
  void RequestPlace();
  void CheckPlace();
  void PlaceSettled();
  void ChangeEnded();
  BarRect SeenPlace() const;

  ShownStatus shown_;
  std::array<QIcon, kImageCount> tray_pictures_;  // made when first shown
  std::vector<QAction*> menu_items_;              // in the order of BarMenuItems()
  BarDrag drag_;
  BarRect drag_start_;        // the place at the press
  QPoint drag_label_origin_;  // the label's corner on the screen at the press
  StoredBarPlace place_{OpenProgramRegistry};
  // A resize by the frame: the edges taken, where the pointer and the bar were at the press.
  unsigned resize_edges_ = 0;  // FrameEdge flags grabbed by the press; none: no resize
  QPoint resize_origin_;
  BarRect resize_start_;
  // A place asked for that the window system does not show yet: a window manager takes its
  // time, and may put a frame around the bar on the way. It is checked until it is seen.
  std::optional<BarRect> target_;
  QTimer* place_check_ = nullptr;
  PlaceRequest place_request_;
  bool store_when_settled_ = false;  // a change by the user is on its way
  // Where the bar was seen last before it was hidden; a hidden window's place is the manager's.
  std::optional<BarRect> hidden_place_;
  bool tray_on_bus_ = false;     // the icon is a StatusNotifierItem, not a window of ours
  bool ask_workspaces_ = false;  // shown, and not yet asked again for every workspace
};

}  // namespace kestrion
