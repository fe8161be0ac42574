#pragma once

#include <functional>
#include <string>

namespace kestrion {

// The last resort for a failure no handler caught: a message box captioned with the
// application title, a stop icon and one OK button.
inline constexpr unsigned kExceptionBoxStyle = 0x10;  // MB_OK | MB_ICONSTOP

// The box's text: the message with a full stop appended when it ends in a character above
// '.' (a letter, a digit, any non-ASCII character); a message ending in '.', '!', ')' or a
// line break, or an empty one, is shown as it is.
std::string ExceptionDisplayText(const std::string& message);

// Runs a handler; the message of whatever escapes it goes to `show` (an empty one for
// anything that is not a std::exception), and nothing leaves.
void RunGuarded(const std::function<void()>& handler,
                const std::function<void(const std::string&)>& show);

}  // namespace kestrion
