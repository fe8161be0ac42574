#pragma once

#include <string>
#include <vector>

namespace kestrion::test {

// The native test billing server that the Windows tests reach on loopback (see
// tests/server/server_fixture.sh).

// The base address of a listener ("http", "https", "https-expired", ...), e.g.
// "http://127.0.0.1:40123"; fails the test when there is none.
std::string ServerUrl(const std::string& listener);

// The requests the server has logged so far, one line each:
// "LISTENER<TAB>METHOD TARGET VERSION<TAB>Name: value..." (headers ordered by name).
std::vector<std::string> ServerRequests();

}  // namespace kestrion::test
