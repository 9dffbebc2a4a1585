#include "FObj.h"

namespace {
// One movie is built and written at a time on each thread: a movie compiled
// in the background numbers its characters apart from one built meanwhile on
// the user-interface thread.
thread_local std::uint16_t g_characterID = 0;
} // namespace

std::uint16_t NextCharacterID() {
    return ++g_characterID;
}

void ResetCharacterID() {
    g_characterID = 0;
}
