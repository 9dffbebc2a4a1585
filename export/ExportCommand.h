#pragma once
// What the two command-line programs share for exports: the --format,
// --scale and --quality options, progress on a terminal, and an interrupt
// (Ctrl+C, a hang-up, a termination) that stops the export cleanly, so that
// the old file stays and nothing is left beside it.

#include "export/ExportFormat.h"

#include <functional>
#include <string>

namespace movie_export {

struct ExportArguments {
    std::string format; // --format NAME, empty when not given
    double scale = 1;
    int quality = -1;
};

// Takes argv[*i] (and its value) when it is one of the export options and
// moves *i past it. Returns 1 when taken, 0 when it is not an export option,
// -1 when its value is bad (*why says why).
int TakeExportOption(int argc, char** argv, int* i, ExportArguments* args, std::string* why);

// The format for `output`: --format when given, else by the extension. Null
// when unknown; *why then says so and lists the formats.
const FormatInfo* ChooseFormat(const ExportArguments& args, const std::string& output,
                               std::string* why);

// From construction on, SIGINT, SIGTERM and SIGHUP only set a flag that
// requested() reads; the destructor puts the usual handling back.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool requested();
    // Ends the process by the signal that arrived, as if it had not been
    // caught (after the caller cleaned up).
    [[noreturn]] static void reraise();
};

// "\r6%" on stderr when it is a terminal, once per percent;
// done() clears the line.
class TerminalProgress {
public:
    TerminalProgress();
    ~TerminalProgress() { done(); }
    void operator()(int done, int total);
    void done();

private:
    bool m_terminal = false;
    int m_shown = -1;
};

} // namespace movie_export
