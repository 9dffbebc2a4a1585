#include "app/imaging/PixmillBinding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

PixmillApi Pixmill;

const char* const PixmillLibraryFile = "libpixmill.so";
const char* const PixmillLoadError = "Could not load file Pixmill.DLL";

namespace {

// The loader's text on the last failure, or `otherwise` when it has none.
std::string loaderError(const char* otherwise) {
    const char* text = dlerror();
    return text ? text : otherwise;
}

template <typename Fn>
bool lookUp(void* handle, const char* name, Fn& slot, BindingReporter& reporter) {
    dlerror();
    void* sym = handle ? dlsym(handle, name) : nullptr;
    if (!sym) {
        reporter.showMessage(PixmillLoadError);
        reporter.systemReason(handle ? loaderError("no such entry point")
                                     : std::string(name) + ": the library is not loaded");
        reporter.requestTerminate();
        return false;
    }
    slot = reinterpret_cast<Fn>(sym);
    return true;
}

} // namespace

bool BindPixmill(const std::string& programDir, BindingReporter& reporter) {
    const std::string path = programDir + PixmillLibraryFile;
    // The library is never unloaded.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        reporter.showMessage(PixmillLoadError);
        reporter.systemReason(loaderError("cannot load the library"));
        reporter.requestTerminate();
    }
    PixmillApi api;
    bool ok = lookUp(handle, "OpenDib", api.OpenDib, reporter);
    ok &= lookUp(handle, "deldib", api.deldib, reporter);
    ok &= lookUp(handle, "SaveDib", api.SaveDib, reporter);
    ok &= lookUp(handle, "newdib", api.newdib, reporter);
    if (handle) {
        ok &= lookUp(handle, "getpixel", api.getpixel, reporter);
        ok &= lookUp(handle, "setpixel", api.setpixel, reporter);
        api.SaveDibToMemory =
            reinterpret_cast<decltype(api.SaveDibToMemory)>(dlsym(handle, "SaveDibToMemory"));
        api.FreeDibMemoryBlock =
            reinterpret_cast<decltype(api.FreeDibMemoryBlock)>(dlsym(handle, "FreeDibMemoryBlock"));
    } else {
        ok = false;
    }
    Pixmill = api;
    return ok;
}

void ConsoleBindingReporter::showMessage(const std::string& message) {
    if (!m_quiet) std::fprintf(stderr, "%s\n", message.c_str());
}

void ConsoleBindingReporter::systemReason(const std::string& reason) {
    if (firstReason.empty()) firstReason = reason;
    if (!m_quiet) std::fprintf(stderr, "  %s\n", reason.c_str());
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}
