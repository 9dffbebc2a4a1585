#pragma once
// Tells the desktop shell that items in the file system changed, so that open
// views of the program group refresh. The desktops this program runs on watch
// their folders themselves, so the system notifier does nothing; the
// recording one keeps what it was told, for tests.

#include <string>
#include <vector>

namespace platform {

class ShellNotifier {
public:
    virtual ~ShellNotifier() = default;
    // An item (file or shortcut) at `path` was deleted.
    virtual void itemDeleted(const std::string& path) = 0;
    // The contents of `folder` (a path ending in "/") changed; pending
    // notices for it are delivered before this returns.
    virtual void folderUpdated(const std::string& folder) = 0;
};

class SystemShellNotifier final : public ShellNotifier {
public:
    void itemDeleted(const std::string& path) override;
    void folderUpdated(const std::string& folder) override;
};

class RecordingShellNotifier final : public ShellNotifier {
public:
    enum class Event { ItemDeleted, FolderUpdated };
    struct Notice {
        Event event;
        std::string path;
        bool operator==(const Notice&) const = default;
    };

    void itemDeleted(const std::string& path) override;
    void folderUpdated(const std::string& folder) override;

    const std::vector<Notice>& notices() const { return m_notices; }

private:
    std::vector<Notice> m_notices;
};

} // namespace platform
