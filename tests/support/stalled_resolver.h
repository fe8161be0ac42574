#pragma once

// A name lookup that never answers, for tests: loaded before the C library (linked into a
// test, or put in LD_PRELOAD for a whole program), it holds every getaddrinfo of the name in
// KESTRION_STALLED_HOST for KESTRION_STALL_SECONDS (60 when unset) and then fails it, as a
// resolver behind a captive portal does. The name in KESTRION_LOOPBACK_HOST is 127.0.0.1.
// The first lookup of the name in KESTRION_SLOW_HOST takes KESTRION_SLOW_SECONDS (1 when
// unset) and finds 127.0.0.1; every later one stalls. Every other name is looked up as usual.
// Each stalled lookup adds a line to the file named in KESTRION_STALL_LOG, if any.
extern "C" {
// How many lookups of `name` this process has made so far.
int StalledResolverLookups(const char* name);
}
