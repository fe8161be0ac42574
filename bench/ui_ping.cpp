// ui_ping: how long a window's user-interface thread takes to answer, asked the way a window
// manager asks whether a program hangs. Every EVERY_MS milliseconds for SECONDS seconds it
// sends the window a _NET_WM_PING client message and waits for the program to send it back to
// the root window, one ping at a time; a program answers only from its event loop, so a round
// trip is as long as the loop is kept from running.
//
//   ui_ping WINDOW_ID SECONDS [EVERY_MS]      (WINDOW_ID as xwininfo prints it, e.g. 0x200006)
//
// Prints one line: the longest round trip in milliseconds, the median one, and how many pings
// were answered of those sent, e.g. "3.1 0.4 148 148". A ping still unanswered 5 s after the
// end counts with the time it waited. Exits 2 on a wrong command line, 1 when there is no X
// server or the window does not take _NET_WM_PING.
#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T>
struct FreeDeleter {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
  const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool TakesPing(xcb_connection_t* x, xcb_window_t window, xcb_atom_t protocols, xcb_atom_t ping) {
  const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      x, xcb_get_property(x, 0, window, protocols, XCB_ATOM_ATOM, 0, 64), nullptr));
  if (!reply || reply->format != 32) return false;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::find(atoms, atoms + count, ping) != atoms + count;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs("usage: ui_ping WINDOW_ID SECONDS [EVERY_MS]\n", stderr);
    return 2;
  }
  const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
  const double seconds = std::atof(argv[2]);
  const int every_ms = argc == 4 ? std::atoi(argv[3]) : 20;
  if (window == 0 || seconds <= 0 || every_ms <= 0) {
    std::fputs("usage: ui_ping WINDOW_ID SECONDS [EVERY_MS]\n", stderr);
    return 2;
  }

  int screen_number = 0;
  xcb_connection_t* const x = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(x) != 0) {
    std::fputs("ui_ping: no X server\n", stderr);
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  const xcb_atom_t protocols = Atom(x, "WM_PROTOCOLS");
  const xcb_atom_t ping = Atom(x, "_NET_WM_PING");
  if (!TakesPing(x, window, protocols, ping)) {
    std::fprintf(stderr, "ui_ping: window %s does not list _NET_WM_PING in WM_PROTOCOLS\n",
                 argv[1]);
    return 1;
  }
  // The answer goes to the root window for whoever watches it or its children, as Qt
  // releases differ in which of the two they name.
  const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);

  const int fd = xcb_get_file_descriptor(x);
  const Clock::time_point end =
      Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  const Clock::time_point give_up = end + std::chrono::seconds(5);
  std::vector<double> trips;
  uint32_t sent = 0;
  unsigned answered = 0;
  while (Clock::now() < end) {
    const uint32_t number = ++sent;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = protocols;
    message.data.data32[0] = ping;
    message.data.data32[1] = XCB_CURRENT_TIME;
    message.data.data32[2] = window;
    message.data.data32[3] = number;  // comes back as it went
    const Clock::time_point sent_at = Clock::now();
    xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(x);

    bool back = false;
    while (!back && Clock::now() < give_up) {
      xcb_generic_event_t* raw = xcb_poll_for_event(x);
      if (raw == nullptr) {
        if (xcb_connection_has_error(x) != 0) {
          std::fputs("ui_ping: lost the X server\n", stderr);
          return 1;
        }
        pollfd wait{fd, POLLIN, 0};
        ::poll(&wait, 1, static_cast<int>(Ms(give_up - Clock::now())) + 1);
        continue;
      }
      const XcbReply<xcb_generic_event_t> event(raw);
      if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) continue;
      const auto* answer = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
      back = answer->window == root && answer->data.data32[0] == ping &&
             answer->data.data32[3] == number;
    }
    trips.push_back(Ms(Clock::now() - sent_at));
    if (!back) break;  // hung past the end: the last trip is how long it waited
    ++answered;
    const Clock::time_point next = sent_at + std::chrono::milliseconds(every_ms);
    const Clock::duration pause = next - Clock::now();
    if (pause > Clock::duration::zero()) ::poll(nullptr, 0, static_cast<int>(Ms(pause)));
  }
  xcb_disconnect(x);

  std::vector<double> sorted = trips;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  std::printf("%.1f %.1f %u %u\n", sorted.empty() ? 0 : sorted.back(), median, answered, sent);
  return 0;
}
