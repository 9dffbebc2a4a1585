#pragma once
// Hands a path or an address to the desktop's own handler (xdg-open) without
// waiting for it.

#include <functional>
#include <string>

// Starts xdg-open on `pathOrAddress` and returns at once. `done` is called
// once, later, from the event loop of the calling thread: false when the
// opener could not be started or reported failure (no program for the file's
// type, a file that is not there), true when it reported success or is still
// running after kOpenerVerdictMs (a handler that stays in the foreground, such
// as a terminal browser, keeps it running; it then runs on its own and its
// end is not reported).
void StartDesktopOpen(const std::string& pathOrAddress, std::function<void(bool handedOver)> done);

// How long the opener's failure counts as the answer to the request.
inline constexpr int kOpenerVerdictMs = 5000;
