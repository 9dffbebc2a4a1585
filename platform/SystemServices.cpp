#include "platform/SystemServices.h"

#include <cstdlib>

namespace platform {
namespace {

std::string g_tempFolder;

std::string withSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

} // namespace

std::string TempFolder() {
    if (!g_tempFolder.empty()) return g_tempFolder;
    const char* env = std::getenv("TMPDIR");
    return withSlash(env && *env ? env : "/tmp");
}

void SetTempFolder(const std::string& folder) {
    g_tempFolder = folder.empty() ? folder : withSlash(folder);
}

} // namespace platform
