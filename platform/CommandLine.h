#pragma once
// What every program does with --help and --version: the usage and options,
// or the program's name and version, on stdout, and a successful exit.

#include "MoviVersion.h"

#include <cstdio>
#include <cstring>

namespace platform {

// Answers --help (or -h) with `help` and --version with "PROGRAM VERSION".
// Returns 0 when it answered, -1 when neither was asked for. Arguments after
// "--" are names, never options.
inline int AnswerHelpOrVersion(int argc, char** argv, const char* program, const char* help) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, MOVI_VERSION);
            return 0;
        }
    }
    return -1;
}

} // namespace platform
