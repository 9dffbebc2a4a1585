#include "FObj.h"

namespace {
// One movie is built and written at a time, on one thread.
std::uint16_t g_characterID = 0;
} // namespace

std::uint16_t NextCharacterID() {
    return ++g_characterID;
}

void ResetCharacterID() {
    g_characterID = 0;
}
