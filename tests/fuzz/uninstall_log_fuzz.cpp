// Feeds arbitrary bytes to the Install.log reader. A log is either refused or
// read within its limits, and no name in it may resolve to a path outside the
// folder it is taken against.
#include "uninstall/InstallLog.h"
#include "uninstall/Removal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool startsWith(const std::filesystem::path& p, const std::filesystem::path& base) {
    auto b = base.begin();
    for (auto it = p.begin(); b != base.end(); ++it, ++b)
        if (it == p.end() || *it != *b) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const uninstall::LogResult result = uninstall::ReadInstallLog(bytes);
    if (!result.ok()) return 0;
    const uninstall::InstallLog& log = result.Log;
    check(log.ProgramName.size() <= uninstall::MaxProgramNameLength);
    check(log.Entries.size() <= uninstall::MaxEntries);

    // A base that does not exist, so that only the names decide.
    const std::filesystem::path base = "/nonexistent-uninstall-fuzz/inst";
    for (const uninstall::InstallEntry& entry : log.Entries) {
        check(entry.FileName.size() <= uninstall::MaxEntryLength);
        check(entry.LinkName.size() <= uninstall::MaxEntryLength);
        for (const std::string* name : {&entry.FileName, &entry.LinkName}) {
            const auto resolved = uninstall::ResolveInside(base, uninstall::LogPath(*name), false);
            check(!resolved || (startsWith(*resolved, base) && *resolved != base));
        }
    }
    return 0;
}
