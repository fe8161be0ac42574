#pragma once

#include <string>
#include <vector>

namespace kestrion::test {

// The shared test vectors in tests/data, read the same way by every platform's tests.

std::string DataPath(const std::string& relative);
std::string ReadDataFile(const std::string& relative);

// Rows of a tab-separated vector file; '#' lines and blank lines are skipped. Fields keep
// their blanks. With `unescape`, "\xHH" becomes that byte and "<empty>" the empty text.
std::vector<std::vector<std::string>> ReadVectors(const std::string& relative, bool unescape);

}  // namespace kestrion::test
