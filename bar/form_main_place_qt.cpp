// The bar's place on the screens: asked of the window system, asked for until a window manager
// shows it there, and kept whole as the screens change.
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "bar/form_main_qt.h"
#include "bar/window_hints.h"
#include "settings/program_registry.h"

namespace kestrion {

namespace {

// How often a place asked for is looked for on the screen: window managers answer within a
// few tenths of a second, or keep a place of their own.
constexpr int kPlaceCheckMs = 100;

// When the screens have changed, the bar is looked at once Qt has told of every step, and
// again once the window manager has had its say: some (openbox) move windows off a removed
// screen themselves, a moment later, and may leave only a sliver of the bar in view.
constexpr int kAfterScreensChangeMs[] = {0, 300, 800};

BarRect RectOf(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

std::vector<BarRect> ScreenRects() {
  std::vector<BarRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    screens.push_back(RectOf(screen->geometry()));
  }
  return screens;
}

}  // namespace

void TFormMain::StartPlaceChecks() {
  place_check_ = new QTimer(this);
  place_check_->setInterval(kPlaceCheckMs);
  connect(place_check_, &QTimer::timeout, this, [this] { CheckPlace(); });
}

void TFormMain::RestoreGeometry() {
  BarRect bar = RestoreBarGeometry(OpenProgramRegistry, Bounds());
  // No screen at all, for a moment: nowhere to go.
  if (const QScreen* primary = QGuiApplication::primaryScreen()) {
    bar = KeepBarReachable(bar, ScreenRects(), RectOf(primary->availableGeometry()));
  }
  SetBounds(bar);
  place_.Placed(Bounds());
}

// A screen unplugged or made smaller may leave the bar partly or wholly where none shows it.
// Moving it back is not the user's change and is not stored; the end stores what is seen.
void TFormMain::KeepWhole() {
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr) return;
  const BarRect bar = Bounds();
  if (const BarRect whole = KeepBarWhole(bar, ScreenRects(), RectOf(primary->geometry()));
      whole != bar) {
    SetBounds(whole);
  }
}

void TFormMain::WatchScreens() {
  const auto changed = [this] {
    for (const int ms : kAfterScreensChangeMs)
      QTimer::singleShot(ms, this, [this] { KeepWhole(); });
  };
  const auto watch = [this, changed](QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, changed);
    connect(screen, &QScreen::availableGeometryChanged, this, changed);
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  connect(qGuiApp, &QGuiApplication::screenAdded, this, [watch, changed](QScreen* screen) {
    watch(screen);
    changed();
  });
  connect(qGuiApp, &QGuiApplication::screenRemoved, this, changed);
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, changed);
}

BarRect TFormMain::SeenPlace() const {
  if (const auto seen = PlaceOnServer(this); seen && seen->viewable) {
    return OuterPlace(seen->window, seen->frame);
  }
  const QRect own = geometry();  // no window system to ask, or nothing on the screen yet
  return {own.x(), own.y(), own.width(), own.height()};
}

BarRect TFormMain::Bounds() const {
  if (target_) return *target_;
  if (!isVisible() && hidden_place_) return *hidden_place_;
  return SeenPlace();
}

void TFormMain::SetBounds(const BarRect& bar) {
  target_ = ConstrainBarSize(bar);
  hidden_place_.reset();
  place_request_.Start();
  RequestPlace();
}

void TFormMain::RequestPlace() {
  const auto seen = PlaceOnServer(this);
  const BarRect own = WindowBoundsFor(*target_, seen ? seen->frame : FrameExtents{});
  setGeometry(own.left, own.top, own.width, own.height);
  if (!isVisible()) return;  // it is asked for again as the bar is shown
  RequestPlaceOnServer(this, own);
  place_check_->start();
}

void TFormMain::CheckPlace() {
  const auto seen = PlaceOnServer(this);
  // The manager has taken the bar just shown.
  if (seen && seen->viewable && std::exchange(ask_workspaces_, false)) AskAllWorkspacesShown(this);
  if (!target_ || !seen) {
    PlaceSettled();
    return;
  }
  switch (place_request_.Check(seen->viewable, OuterPlace(seen->window, seen->frame), *target_)) {
    case PlaceRequest::Next::kWait:
      break;
    case PlaceRequest::Next::kAskAgain:
      RequestPlace();
      break;
    case PlaceRequest::Next::kSettled:
      PlaceSettled();
      break;
  }
}

void TFormMain::PlaceSettled() {
  place_check_->stop();
  target_.reset();
  if (std::exchange(store_when_settled_, false)) place_.ChangeEnded(Bounds());
}

// The place is stored at once, as it was asked for, and again where the manager has put the
// bar once it has settled, should that be elsewhere.
void TFormMain::ChangeEnded() {
  place_.ChangeEnded(Bounds());
  store_when_settled_ = target_.has_value();
}

void TFormMain::setVisible(bool visible) {
  if (!visible && isVisible()) {
    // Closing hides the bar first; a manager may then have put it back where it likes.
    hidden_place_ = Bounds();
    target_.reset();
    place_check_->stop();
    store_when_settled_ = false;  // what was asked for is stored already
  }
  // Before each mapping: the manager reads the states as it maps the window, and may drop
  // them when it is hidden. The bar's window is made here, at its first showing.
  if (visible && !isVisible()) {
    AskPanelStates(this);
    ask_workspaces_ = true;
  }
  QWidget::setVisible(visible);
  if (!visible) return;
  if (hidden_place_) {
    SetBounds(*std::exchange(hidden_place_, std::nullopt));
  } else if (target_) {
    RequestPlace();
  }
}

}  // namespace kestrion
