#include <QGuiApplication>
#include <QWidget>
#include <QtMath>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "bar/window_hints.h"

namespace kestrion {

namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> Owned(Reply* reply) {
  return ReplyPtr<Reply>(reply, std::free);
}

xcb_connection_t* Connection() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  const auto reply = Owned(xcb_intern_atom_reply(connection, cookie, nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The manager's frame as it announces it: left, right, top, bottom.
std::optional<FrameExtents> AnnouncedFrame(xcb_connection_t* connection, xcb_window_t id) {
  const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
  const auto reply = Owned(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, id, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) {
    return std::nullopt;
  }
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return FrameFromExtents({values[0], values[1], values[2], values[3]});
}

// The window's ancestor just below the root: the manager's frame, or the window itself.
xcb_window_t Outermost(xcb_connection_t* connection, xcb_window_t id) {
  for (int depth = 0; depth < 16; ++depth) {
    const auto tree =
        Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr));
    if (!tree || tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) break;
    id = tree->parent;
  }
  return id;
}

}  // namespace

void AskPanelStates(QWidget* window) {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr) return;
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
  // On a window not yet mapped the state is a plain property; Qt adds its own states to what
  // it finds there when it maps the window.
  std::vector<xcb_atom_t> atoms;
  const xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 64);
  const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
  if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
    const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    atoms.assign(values, values + xcb_get_property_value_length(reply.get()) / 4);
  }
  for (const char* name :
       {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_STICKY"}) {
    const xcb_atom_t atom = Atom(connection, name);
    if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end()) atoms.push_back(atom);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(atoms.size()), atoms.data());
  // Every workspace, as the managers that go by the desktop rather than the state read it
  // (openbox reads no sticky state; bspwm no desktop).
  constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, Atom(connection, "_NET_WM_DESKTOP"),
                      XCB_ATOM_CARDINAL, 32, 1, &kAllDesktops);
  xcb_flush(connection);
}

void AskAllWorkspacesShown(const QWidget* window) {
  xcb_connection_t* connection = Connection();
  const auto id = static_cast<xcb_window_t>(window->internalWinId());
  if (connection == nullptr || id == XCB_WINDOW_NONE) return;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  xcb_client_message_event_t message = {};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = id;
  message.type = Atom(connection, "_NET_WM_DESKTOP");
  message.data.data32[0] = 0xFFFFFFFF;
  message.data.data32[1] = 1;  // from an application
  xcb_send_event(connection, 0, screen->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
}

std::optional<ServerPlace> PlaceOnServer(const QWidget* window) {
  xcb_connection_t* connection = Connection();
  const auto id = static_cast<xcb_window_t>(window->internalWinId());
  if (connection == nullptr || id == XCB_WINDOW_NONE) return std::nullopt;
  const auto geometry =
      Owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
  const auto attributes = Owned(xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, id), nullptr));
  if (!geometry || !attributes) return std::nullopt;
  const auto on_root = Owned(xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, id, geometry->root, 0, 0), nullptr));
  if (!on_root) return std::nullopt;

  FrameExtents frame;
  if (const auto announced = AnnouncedFrame(connection, id)) {
    frame = *announced;
  } else if (const xcb_window_t outer = Outermost(connection, id); outer != id) {
    // A manager that frames the window and says nothing of it (twm): the frame's outer
    // corner, its border included, is where the user sees the bar.
    const auto framed =
        Owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, outer), nullptr));
    if (framed) frame = {on_root->dst_x - framed->x, on_root->dst_y - framed->y};
  }
  // The server counts device pixels; Qt, the widget's.
  const qreal ratio = window->devicePixelRatioF();
  ServerPlace place;
  place.window = {LogicalPixels(on_root->dst_x, ratio), LogicalPixels(on_root->dst_y, ratio),
                  LogicalPixels(geometry->width, ratio), LogicalPixels(geometry->height, ratio)};
  place.frame = {LogicalPixels(frame.left, ratio), LogicalPixels(frame.top, ratio)};
  place.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  return place;
}

void RequestPlaceOnServer(const QWidget* window, const BarRect& bounds) {
  xcb_connection_t* connection = Connection();
  const auto id = static_cast<xcb_window_t>(window->internalWinId());
  if (connection == nullptr || id == XCB_WINDOW_NONE) return;
  const qreal ratio = window->devicePixelRatioF();
  // Coordinates and sizes travel as 32-bit values, the position as a signed one.
  const std::uint32_t values[] = {static_cast<std::uint32_t>(DevicePixels(bounds.left, ratio)),
                                  static_cast<std::uint32_t>(DevicePixels(bounds.top, ratio)),
                                  static_cast<std::uint32_t>(DevicePixels(bounds.width, ratio)),
                                  static_cast<std::uint32_t>(DevicePixels(bounds.height, ratio))};
  xcb_configure_window(connection, id,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT,
                       values);
  xcb_flush(connection);
}

}  // namespace kestrion
