#include "app/widgets/DesktopOpen.h"

#include <QFile>
#include <QProcess>
#include <QTimer>

#include <memory>

void StartDesktopOpen(const std::string& pathOrAddress, std::function<void(bool)> done) {
    // No parent: a process object owned by the application would end the
    // handler with the program. It deletes itself once xdg-open has ended.
    auto* process = new QProcess;
    // Answered once, whichever comes first: the opener's end, its failure to
    // start, or the verdict time.
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    auto give = [answer](bool handedOver) {
        if (!*answer) return;
        const std::function<void(bool)> f = std::move(*answer);
        *answer = nullptr;
        f(handedOver);
    };
    auto* verdict = new QTimer(process);
    verdict->setSingleShot(true);
    QObject::connect(verdict, &QTimer::timeout, [give] { give(true); });
    QObject::connect(process, &QProcess::finished, process,
                     [process, give](int code, QProcess::ExitStatus status) {
                         // Ended by a signal: the user closed what it ran.
                         give(status == QProcess::CrashExit || code == 0);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, give](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         // Reported from the event loop even when start()
                         // itself fails, as the other answers are.
                         QTimer::singleShot(0, process, [process, give] {
                             give(false);
                             process->deleteLater();
                         });
                     });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    process->start(QStringLiteral("xdg-open"), {QFile::decodeName(pathOrAddress.c_str())});
    verdict->start(kOpenerVerdictMs);
}
