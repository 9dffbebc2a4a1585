#include "platform/ShellNotifier.h"

namespace platform {

void SystemShellNotifier::itemDeleted(const std::string&) {}
void SystemShellNotifier::folderUpdated(const std::string&) {}

void RecordingShellNotifier::itemDeleted(const std::string& path) {
    m_notices.push_back({Event::ItemDeleted, path});
}

void RecordingShellNotifier::folderUpdated(const std::string& folder) {
    m_notices.push_back({Event::FolderUpdated, folder});
}

} // namespace platform
