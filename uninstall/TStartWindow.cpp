#include "uninstall/TStartWindow.h"

#include "uninstall/Controls.h"
#include "uninstall/Cp1252.h"
#include "uninstall/MessageBoxes.h"
#include "uninstall/TProgressWindow.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace uninstall {

TStartWindow::TStartWindow(const InstallLog& log, const QString& installFolder, QSize screen,
                           Removal removal, QWidget* parent)
    : QWidget(parent), m_screen(screen), m_removal(std::move(removal)) {
    SetUpWindow(this, true);
    // Centred on 512 rather than the window's 520 pixels, as the window has
    // always been placed.
    move(WindowPosition(screen, 512));
    const int w = ClientSize.width();

    const QString headerText = QString::fromStdString(Cp1252ToUtf8(log.ProgramName)) +
                               QStringLiteral("をアンインストールします.");
    m_header = CreateWhiteText(this, QRect(-1, -1, w + 1, 49), headerText, Edge::Static,
                               TextPlace::Header);
    m_header->setObjectName(QStringLiteral("header"));
    auto* caption = CreateChild<QLabel>(this, QRect(8, 64, 150, 21), QStringLiteral("索引:"));
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_folderEdit = CreateChild<QLineEdit>(this, QRect(60, 64, 447, 21), installFolder);
    m_folderEdit->setObjectName(QStringLiteral("folderEdit"));
    m_folderEdit->setCursorPosition(0);
    CreateSeparator(this, 279, w);
    CreateSeparator(this, 49, w);
    m_nextButton =
        CreateChild<QPushButton>(this, QRect(w - 194, 290, 89, 25), QStringLiteral("次へ >"));
    m_nextButton->setObjectName(QStringLiteral("nextButton"));
    m_nextButton->setDefault(true);
    m_cancelButton =
        CreateChild<QPushButton>(this, QRect(w - 97, 290, 89, 25), QStringLiteral("取り消す"));
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));

    connect(m_nextButton, &QPushButton::clicked, this, &TStartWindow::NextBtnClick);
    connect(m_cancelButton, &QPushButton::clicked, this, &TStartWindow::CancelBtnClick);
}

void TStartWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit finished();
}

void TStartWindow::NextBtnClick() {
    if (MakeConfirmBox()->exec() == QMessageBox::Yes) RunUninstall();
}

void TStartWindow::CancelBtnClick() {
    AskQuit();
}

void TStartWindow::AskQuit() {
    if (MakeQuitBox(this)->exec() == QMessageBox::Yes) emit finished();
}

void TStartWindow::RunUninstall() {
    hide();
    m_progress = new TProgressWindow(m_screen, this);
    m_progress->show();

    const RemovalReport report = m_removal ? m_removal() : RemovalReport();

    // Entries are counted on their own line; the group name and the key
    // name, which are no entries, each get a line that says why they were left.
    auto any = [&](SkipReason reason) {
        return std::any_of(report.Skipped.begin(), report.Skipped.end(),
                           [&](const SkippedItem& s) { return s.Reason == reason; });
    };
    const bool groupRefused = any(SkipReason::GroupOutsidePrograms);
    const bool keyRefused = any(SkipReason::BadKeyName);
    const auto entries = static_cast<int>(
        std::count_if(report.Skipped.begin(), report.Skipped.end(), [](const SkippedItem& s) {
            return s.Reason != SkipReason::GroupOutsidePrograms &&
                   s.Reason != SkipReason::BadKeyName;
        }));
    if (entries > 0 || groupRefused || keyRefused)
        m_progress->ShowSkipped(entries, groupRefused, keyRefused);

    MakeDoneBox(m_progress)->exec();
    delete m_progress;
    m_progress = nullptr;
    emit finished();
}

} // namespace uninstall
