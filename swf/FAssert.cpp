#include "FAssert.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
FAssertHandler g_handler = nullptr;
}

void FSetAssertHandler(FAssertHandler handler) {
    g_handler = handler;
}

void FAssertFailed(const char* condition, const char* module, int line) {
    const std::string message = std::string("Assertion failed: ") + condition + ", file " + module +
                                ", line " + std::to_string(line);
    if (g_handler) {
        g_handler(message.c_str());
    } else {
        std::fprintf(stderr, "%s\n", message.c_str());
        std::fflush(stderr);
    }
    std::abort();
}
