#include "bar/form_main_qt.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>

#include "bar/form_about_qt.h"
#include "bar/status.h"
#include "bar/window_hints.h"
#include "poll/poll_thread.h"
#include "poll/program_poll.h"
#include "settings/program_registry.h"
#include "settings_dialog/form_settings_qt.h"
#include "ui/application_qt.h"
#include "ui/forms.h"
#include "ui/shell_open.h"

namespace kestrion {

TFormMain* FormMain = nullptr;
TMainThread* MainThread = nullptr;

namespace {

// Server text is shown as text: a tip that looks like markup is escaped so it never is taken
// for it.
QString PlainTip(const std::string& tip) {
  const QString text = QString::fromStdString(tip);
  return Qt::mightBeRichText(text) ? QStringLiteral("<qt>%1</qt>").arg(text.toHtmlEscaped()) : text;
}

// One of the program's pictures for the notification area, whose panels may draw more than
// 16 pixels: its 2x drawing is offered as a 32-pixel picture of its own too.
QIcon TrayPictureOf(const QString& name) {
  QIcon picture = LoadPicture(name);
  QPixmap large(QStringLiteral(":/images/%1@2x.png").arg(name));
  if (!large.isNull()) {
    large.setDevicePixelRatio(1.0);
    picture.addPixmap(large);
  }
  return picture;
}

// The bar as a screen reader meets it: a window named after the program, not Qt's filler of
// a plain widget.
class BarAccessible : public QAccessibleWidget {
 public:
  explicit BarAccessible(QWidget* bar) : QAccessibleWidget(bar, QAccessible::Window) {}
};

// The status text as a status bar. Orca passes over every change of a label's name, and
// speaks a new name of the object that has the focus unless it is a label: so the text,
// focused, is heard at once and at each new status.
class StatusAccessible : public QAccessibleWidget {
 public:
  explicit StatusAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* BarAccessibleFactory(const QString& class_name, QObject* object) {
  // The bar declares no meta-object of its own: Qt asks for it as a plain widget.
  if (class_name != QLatin1String("QLabel") && class_name != QLatin1String("QWidget")) {
    return nullptr;
  }
  auto* widget = qobject_cast<QWidget*>(object);
  auto* bar = dynamic_cast<TFormMain*>(widget != nullptr ? widget->window() : nullptr);
  if (bar == nullptr) return nullptr;
  if (widget == bar) return new BarAccessible(bar);
  if (widget == bar->LabelMain) return new StatusAccessible(bar->LabelMain);
  return nullptr;
}

}  // namespace

TFormMain::TFormMain()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setObjectName(QStringLiteral("FormMain"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::black);
  setPalette(palette);
  setAutoFillBackground(true);

  QFont font(QString::fromUtf8(kFormFontFamilyLinux), kFormFontPoints, QFont::Bold);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);

  for (const char* name : kImageNames) ImageList1.push_back(LoadPicture(QString::fromUtf8(name)));

  // Before the label is made: a screen reader may ask for it as soon as it has a text.
  static const bool accessible_installed =
      (QAccessible::installFactory(BarAccessibleFactory), true);
  (void)accessible_installed;
  LabelMain = new QLabel(this);
  LabelMain->setObjectName(QStringLiteral("LabelMain"));
  LabelMain->setText(QStringLiteral("LabelMain"));
  LabelMain->setAlignment(Qt::AlignCenter);
  LabelMain->setTextFormat(Qt::PlainText);
  LabelMain->installEventFilter(this);
  // The keyboard's way to the balance: the text takes the focus as the bar is brought into
  // view or activated, never from a click, which starts a drag.
  LabelMain->setFocusPolicy(Qt::TabFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kFrame, kFrame, kFrame, kFrame);
  layout->addWidget(LabelMain);

  setMinimumSize(kBarMinWidth, kBarMinHeight);
  setMaximumHeight(kBarMaxHeight);
  StartPlaceChecks();
  SetBounds({kBarDesignLeft, kBarDesignTop, kBarDesignClientWidth + 2 * kFrame,
             kBarDesignClientHeight + 2 * kFrame});
  setMouseTracking(true);

  BuildMenu();

  Timer1 = new QTimer(this);
  Timer1->setInterval(kTimerIntervalMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1->start();
  WatchScreens();
}

TFormMain::~TFormMain() {
  RemoveTrayIcon();
  SaveBarGeometry(OpenProgramRegistry, Bounds());
}

void TFormMain::BuildMenu() {
  mainPopupMenu = new QMenu(this);
  mainPopupMenu->setObjectName(QStringLiteral("mainPopupMenu"));
  for (const BarMenuItem& item : BarMenuItems()) {
    QAction* action = nullptr;
    if (item.caption[0] == '\0') {
      action = mainPopupMenu->addSeparator();
    } else {
      action = mainPopupMenu->addAction(ImageList1.at(static_cast<std::size_t>(item.image.value())),
                                        QString::fromUtf8(item.caption));
      // Qt flips a checkable item's mark by itself as it is chosen.
      action->setCheckable(item.checkable);
      connect(action, &QAction::triggered, this,
              [this, &item] { RunBarCommand(item.command, *this); });
    }
    action->setObjectName(QString::fromUtf8(item.name));
    menu_items_.push_back(action);
  }
  UpdateVisibilityItems(isVisible());
}

QAction* TFormMain::MenuItem(BarCommand command) const {
  return menu_items_.at(BarMenuPosition(command));
}

void TFormMain::FormCreate() {
  AddTrayIcon();
  RestoreGeometry();
  // Never freed: the thread lives as long as the process.
  MainThread = StartPollThread(PostToUiThread, PollFrontOf(FormMain, FormSettings));
}

void TFormMain::ShowStatus(const Status& status) {
  const StatusChange change = shown_.Show(status);
  const std::size_t image = static_cast<std::size_t>(StatusImage(status.ok));
  if (change.look) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, FromColourValue(StatusColour(status.ok)));
    setPalette(palette);
    setWindowIcon(ImageList1.at(image));
  }
  // The text is the label's accessible name: QLabel tells screen readers of a new one.
  if (change.text) LabelMain->setText(QString::fromStdString(shown_.text()));
  if (TrayIcon == nullptr) return;
  if (change.look) TrayIcon->setIcon(TrayPicture(image));
  if (change.tip) {
    const std::string& tip = shown_.tip();
    // A panel on the session bus takes the tip as plain text; Qt's own tip window would take
    // text that looks like markup for markup.
    TrayIcon->setToolTip(tray_on_bus_ ? QString::fromStdString(tip) : PlainTip(tip));
  }
}

const QIcon& TFormMain::TrayPicture(std::size_t image) {
  // Made once: Qt keeps each icon's pictures scaled for the tray by the icon they came from.
  QIcon& picture = tray_pictures_.at(image);
  if (picture.isNull()) picture = TrayPictureOf(QString::fromUtf8(kImageNames[image]));
  return picture;
}

void TFormMain::AddTrayIcon() {
  // Qt hosts the icon on the session bus (StatusNotifierItem) when a watcher is there as it
  // is made, and as a window of its own in an XEmbed tray otherwise.
  const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  tray_on_bus_ =
      bus != nullptr && bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"));
  TrayIcon = new QSystemTrayIcon(TrayPictureOf(QStringLiteral("kestrion")), this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  TrayIcon->setToolTip(QString::fromUtf8(kAppTitle));
  // The icon carries the bar's menu: Qt opens it on a right press where the icon is a window
  // of ours, and exports it where the panel draws the icon itself (StatusNotifierItem).
  TrayIcon->setContextMenu(mainPopupMenu);
  connect(TrayIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) { TrayIconMessage(reason); });
  TrayIcon->show();
}

void TFormMain::RemoveTrayIcon() {
  if (TrayIcon == nullptr) return;
  TrayIcon->hide();
  delete TrayIcon;
  TrayIcon = nullptr;
}

void TFormMain::TrayIconMessage(QSystemTrayIcon::ActivationReason reason) {
  TrayEvent event = TrayEvent::kOther;
  if (reason == QSystemTrayIcon::Trigger) event = TrayEvent::kLeftPress;
  if (reason == QSystemTrayIcon::Context) event = TrayEvent::kRightPress;
  switch (TrayReaction(event, isVisible())) {
    case TrayAction::kHideBar:
      hide();
      break;
    case TrayAction::kShowBar:
      show();
      raise();
      activateWindow();
      break;
    case TrayAction::kMenuAtPointer:
      // The icon opens the menu it carries by itself.
      if (TrayIcon == nullptr || TrayIcon->contextMenu() != mainPopupMenu) {
        mainPopupMenu->popup(QCursor::pos());
      }
      break;
    case TrayAction::kNothing:
      break;
  }
}

void TFormMain::UpdateVisibilityItems(bool visible) {
  const auto& items = BarMenuItems();
  for (std::size_t i = 0; i < items.size(); ++i) {
    menu_items_[i]->setEnabled(BarMenuItemEnabled(items[i], visible));
  }
}

void TFormMain::showEvent(QShowEvent* event) {
  UpdateVisibilityItems(true);
  QWidget::showEvent(event);
}

void TFormMain::hideEvent(QHideEvent* event) {
  UpdateVisibilityItems(false);
  QWidget::hideEvent(event);
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // The bar is the main window: closing it, by "Выход" or by the window manager, ends the
  // program.
  event->accept();
  QCoreApplication::quit();
}

void TFormMain::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.setPen(QColor(0x50, 0x50, 0x50));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched != LabelMain) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      LabelMainMouseDown(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseMove:
      LabelMainMouseMove(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonRelease:
      LabelMainMouseUp();
      break;
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) LabelMainDblClick();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TFormMain::LabelMainMouseDown(QMouseEvent* event) {
  BarDrag::Button button = BarDrag::Button::kOther;
  if (event->button() == Qt::LeftButton) button = BarDrag::Button::kLeft;
  if (event->button() == Qt::RightButton) button = BarDrag::Button::kRight;
  if (event->button() == Qt::MiddleButton) button = BarDrag::Button::kMiddle;
  const QPoint at = event->position().toPoint();
  drag_.Press(button, at.x(), at.y());
  drag_start_ = Bounds();
  drag_label_origin_ = event->globalPosition().toPoint() - at;
}

void TFormMain::LabelMainMouseMove(QMouseEvent* event) {
  // Measured from where the bar stood at the press: the pointer's place on the screen does not
  // depend on how far the window manager has moved the bar so far.
  const QPoint at = event->globalPosition().toPoint() - drag_label_origin_;
  if (const auto moved = drag_.Move(at.x(), at.y(), drag_start_)) SetBounds(*moved);
}

void TFormMain::LabelMainMouseUp() {
  if (drag_.Release()) ChangeEnded();
}

void TFormMain::LabelMainDblClick() {
  drag_.DoubleClick();
  hide();
}

void TFormMain::BringIntoView() {
  RunBarCommand(BarCommand::kShow, *this);
  activateWindow();
  LabelMain->setFocus(Qt::ActiveWindowFocusReason);
}

void TFormMain::contextMenuEvent(QContextMenuEvent* event) {
  // A right click opens the menu at the pointer; the menu key, where Qt makes a menu request
  // of it, at the bar.
  if (event->reason() == QContextMenuEvent::Keyboard) {
    PopupMenuAtBar();
  } else {
    mainPopupMenu->popup(event->globalPos());
  }
}

void TFormMain::keyPressEvent(QKeyEvent* event) {
  // The focused bar opens its menu from the menu key and Shift+F10; Escape closes it.
  const bool menu_key = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
  const bool shift_f10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
  if (!menu_key && !shift_f10) {
    QWidget::keyPressEvent(event);
    return;
  }
  PopupMenuAtBar();
}

void TFormMain::PopupMenuAtBar() {
  const QRect work_area = screen()->availableGeometry();
  const MenuPlace place = BarMenuPlace(
      Bounds(), {work_area.x(), work_area.y(), work_area.width(), work_area.height()}, {});
  const int height = place.upward ? mainPopupMenu->sizeHint().height() : 0;
  mainPopupMenu->popup(QPoint(place.at.x, place.at.y - height));
  // Opened from the keyboard with its first item chosen, as a screen reader then says.
  mainPopupMenu->setActiveAction(MenuItem(BarCommand::kStat));
}

void TFormMain::Timer1Timer() {
  if (MainThread != nullptr) MainThread->Resume();
}

void TFormMain::ShowBar() {
  show();
  raise();
}

const Settings& TFormMain::HeldSettings() { return FormSettings->settings(); }

void TFormMain::OpenAddress(const std::string& address) { kestrion::OpenAddress(address); }

// A dialog blocks the bar, not the notification-area icon, whose clicks and menu go on
// working: modal to the bar alone. Asked for again while it is shown, it comes forward.
void TFormMain::ShowModalOverBar(QDialog* dialog) {
  if (dialog->isVisible()) {
    dialog->raise();
    dialog->activateWindow();
    return;
  }
  if (dialog->parentWidget() != this) dialog->setParent(this, dialog->windowFlags());
  dialog->setWindowModality(Qt::WindowModal);
  dialog->exec();
}

void TFormMain::ShowDialog(BarDialog dialog) {
  switch (dialog) {
    case BarDialog::kSettings:
      ShowModalOverBar(FormSettings);
      break;
    case BarDialog::kAbout:
      ShowModalOverBar(FormAbout);
      break;
  }
}

void TFormMain::PlaceBar(const BarRect& bar) {
  SetBounds(bar);
  ChangeEnded();
}

unsigned TFormMain::EdgesAt(const QPoint& pos) const {
  return FrameEdgesAt(pos.x(), pos.y(), width(), height(), kFrame);
}

void TFormMain::mousePressEvent(QMouseEvent* event) {
  resize_edges_ = event->button() == Qt::LeftButton ? EdgesAt(event->position().toPoint()) : 0;
  resize_origin_ = event->globalPosition().toPoint();
  resize_start_ = Bounds();
}

void TFormMain::mouseMoveEvent(QMouseEvent* event) {
  if (resize_edges_ == 0) {
    switch (FrameCursorFor(EdgesAt(event->position().toPoint()))) {
      case FrameCursor::kArrow:
        setCursor(Qt::ArrowCursor);
        break;
      case FrameCursor::kSizeHorizontal:
        setCursor(Qt::SizeHorCursor);
        break;
      case FrameCursor::kSizeVertical:
        setCursor(Qt::SizeVerCursor);
        break;
      case FrameCursor::kSizeFDiagonal:
        setCursor(Qt::SizeFDiagCursor);
        break;
      case FrameCursor::kSizeBDiagonal:
        setCursor(Qt::SizeBDiagCursor);
        break;
    }
    return;
  }
  const QPoint delta = event->globalPosition().toPoint() - resize_origin_;
  SetBounds(ResizeByFrame(resize_start_, resize_edges_, delta.x(), delta.y()));
}

void TFormMain::mouseReleaseEvent(QMouseEvent*) {
  if (std::exchange(resize_edges_, 0u) != 0) ChangeEnded();
}

}  // namespace kestrion
