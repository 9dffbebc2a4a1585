#pragma once
// Binding to the image library: loaded by name from the program's folder at
// start-up; its entry points are reached through the process-wide table
// `Pixmill`. Every failing step is reported, and the application is asked to
// terminate, through a BindingReporter that the window (or a test) provides.

#include "pixmill/pixmill.h"

#include <string>

struct PixmillApi {
    int (*OpenDib)(DibRecord*, const char*, int, void*) = nullptr;
    int (*deldib)(DibRecord*) = nullptr;
    int (*SaveDib)(DibRecord*, const char*, int, void*) = nullptr;
    int (*newdib)(DibRecord*, int, int, int, const PixmillBitmapInfoHeader*, int) = nullptr;
    int (*getpixel)(const DibRecord*, int, int) = nullptr;
    void (*setpixel)(DibRecord*, int, int, int) = nullptr;
    // The JPEG in memory; looked up as well, but a library without it still
    // binds (pictures then cannot go into a movie).
    int (*SaveDibToMemory)(DibRecord*, int, unsigned char**, unsigned long*) = nullptr;
    void (*FreeDibMemoryBlock)(unsigned char*) = nullptr;

    bool complete() const { return OpenDib && deldib && SaveDib && newdib && getpixel && setpixel; }
};

extern PixmillApi Pixmill;

class BindingReporter {
public:
    virtual ~BindingReporter() = default;
    // Shows `message` (an English text) with the system default caption and an OK button.
    virtual void showMessage(const std::string& message) = 0;
    // Asks the application to end once its message loop runs.
    virtual void requestTerminate() = 0;
    // The system's own words on the step that just failed (the loader's
    // dlerror text), for diagnostics; the fixed message stays what a user is
    // shown. Ignored unless a reporter shows it.
    virtual void systemReason(const std::string& reason) { (void)reason; }
};

// For programs without a window: messages, each followed by the system's
// reason, go to stderr (or nowhere), and a request to terminate is remembered,
// as is the first reason (for a program that words its own message).
class ConsoleBindingReporter final : public BindingReporter {
public:
    explicit ConsoleBindingReporter(bool quiet = false) : m_quiet(quiet) {}
    void showMessage(const std::string& message) override;
    void requestTerminate() override { terminateRequested = true; }
    void systemReason(const std::string& reason) override;
    bool terminateRequested = false;
    std::string firstReason;

private:
    bool m_quiet;
};

// The file name of the library inside the program's folder.
extern const char* const PixmillLibraryFile;
// The message of every failing step.
extern const char* const PixmillLoadError;

// Loads the library from `programDir` (ending in '/') and looks up "OpenDib",
// "deldib", "SaveDib", "newdib" in that order, then the pixel accessors. Each
// failing step reports PixmillLoadError once and asks to terminate; a failed
// load fails every look-up. Returns true when every entry point was found.
bool BindPixmill(const std::string& programDir, BindingReporter& reporter);

// The folder of the running program, ending in '/'.
std::string ProgramFolder();
