#include "export/ExportCommand.h"

#include "export/MovieExporter.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace movie_export {

int TakeExportOption(int argc, char** argv, int* i, ExportArguments* args, std::string* why) {
    const std::string arg = argv[*i];
    if (arg != "--format" && arg != "--scale" && arg != "--quality") return 0;
    if (*i + 1 >= argc) {
        *why = arg + " needs a value";
        return -1;
    }
    const char* value = argv[++*i];
    char* end = nullptr;
    errno = 0;
    if (arg == "--format") {
        args->format = value;
    } else if (arg == "--scale") {
        const double scale = std::strtod(value, &end);
        if (errno != 0 || end == value || *end != '\0' ||
            !(scale >= kMinScale && scale <= kMaxScale)) {
            *why = "--scale needs a number from 1 to 4";
            return -1;
        }
        args->scale = scale;
    } else {
        const long quality = std::strtol(value, &end, 10);
        if (errno != 0 || end == value || *end != '\0' || quality < 0 || quality > 100) {
            *why = "--quality needs a whole number from 0 to 100";
            return -1;
        }
        args->quality = static_cast<int>(quality);
    }
    return 1;
}

const FormatInfo* ChooseFormat(const ExportArguments& args, const std::string& output,
                               std::string* why) {
    const FormatInfo* format =
        args.format.empty() ? FormatForPath(output) : FormatByName(args.format);
    if (!format) {
        *why = (args.format.empty() ? "unknown format of " + output
                                    : "unknown format \"" + args.format + "\"") +
               "; the formats are: " + FormatNames();
    }
    return format;
}

namespace {

volatile std::sig_atomic_t g_signal = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int signal) {
    g_signal = signal;
}

} // namespace

InterruptGuard::InterruptGuard() {
    for (int s : kSignals) {
        struct sigaction action {};
        action.sa_handler = &onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(s, &action, nullptr);
    }
}

InterruptGuard::~InterruptGuard() {
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
}

bool InterruptGuard::requested() {
    return g_signal != 0;
}

void InterruptGuard::reraise() {
    const int s = g_signal != 0 ? g_signal : SIGINT;
    std::signal(s, SIG_DFL);
    std::raise(s);
    std::_Exit(128 + s);
}

TerminalProgress::TerminalProgress() : m_terminal(isatty(STDERR_FILENO) != 0) {}

void TerminalProgress::operator()(int done, int total) {
    if (!m_terminal || total <= 0) return;
    const int percent = static_cast<int>(int64_t(done) * 100 / total);
    if (percent == m_shown) return;
    m_shown = percent;
    std::fprintf(stderr, "\r%d%%", percent);
}

void TerminalProgress::done() {
    if (m_shown >= 0) std::fprintf(stderr, "\r\033[K");
    m_shown = -1;
}

} // namespace movie_export
