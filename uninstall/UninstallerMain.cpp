#include "uninstall/UninstallerMain.h"

#include "platform/KeyStore.h"
#include "platform/ShellNotifier.h"
#include "uninstall/InstallLog.h"
#include "uninstall/MessageBoxes.h"
#include "uninstall/Removal.h"
#include "uninstall/TStartWindow.h"

#include <QApplication>
#include <QFile>
#include <QScreen>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace uninstall {

int UninstallerMain(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program ends when the start window says so, not when a message
    // box happens to be the last window to close.
    app.setQuitOnLastWindowClosed(false);

    // Qt has taken its own options out of argv by now.
    const std::string ownFolder =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    const std::optional<std::string> folder =
        InstallFolderFor(ownFolder, argc > 1 ? argv[1] : nullptr);
    LogResult result;
    if (folder)
        result = ReadInstallLogFile(*folder);
    else
        result.Problem = LogProblem::NoFolder;
    if (!result.ok()) {
        std::fprintf(stderr, "uninstall: %s%s: %s\n", folder.value_or("").c_str(),
                     std::string(LogFileName).c_str(), DescribeProblem(result).c_str());
        MakeCorruptLogBox()->exec();
        return 0;
    }

    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "uninstall: no screen to show the windows on\n");
        MakeNoWindowBox()->exec();
        return 1;
    }

    platform::KeyStore keys(platform::KeyStore::defaultRoot());
    platform::SystemShellNotifier notifier;
    std::error_code ec;
    RemovalEnvironment env{keys, notifier, std::filesystem::current_path(ec)};
    const InstallLog log = result.Log;

    TStartWindow window(log, QFile::decodeName(folder->c_str()), screen->geometry().size(),
                        [&] { return RemoveInstallation(*folder, log, env); });
    QObject::connect(&window, &TStartWindow::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    app.exec();
    return 0;
}

} // namespace uninstall
