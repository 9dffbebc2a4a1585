#include "common/QtTestApplication.h"
#include "uninstall/TProgressWindow.h"
#include "uninstall/TStartWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <deque>
#include <memory>

using namespace uninstall;

namespace {

// What a message box showed when it came up, and what the windows looked
// like at that moment.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QWidget* owner;
    QMessageBox::StandardButtons buttons;
    bool startVisible;
    bool progressVisible;
    QString progressMessage;
};

// Answers the message boxes that come up, in order, as a user would by
// clicking a button. A box beyond the planned answers is closed and counted.
class BoxAnswerer {
public:
    BoxAnswerer(TStartWindow& window, std::deque<QMessageBox::StandardButton> answers)
        : m_window(window), m_answers(std::move(answers)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }

    const std::vector<SeenBox>& seen() const { return m_seen; }
    int unexpected() const { return m_unexpected; }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        TProgressWindow* progress = m_window.progressWindow();
        m_seen.push_back({box->windowTitle(), box->text(), box->icon(), box->parentWidget(),
                          box->standardButtons(), m_window.isVisible(),
                          progress && progress->isVisible(),
                          progress ? progress->message()->text() : QString()});
        if (m_answers.empty()) {
            ++m_unexpected;
            box->done(QMessageBox::Cancel);
            return;
        }
        const QMessageBox::StandardButton answer = m_answers.front();
        m_answers.pop_front();
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->done(QMessageBox::Cancel);
    }

    TStartWindow& m_window;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::vector<SeenBox> m_seen;
    int m_unexpected = 0;
    QTimer m_timer;
};

class WindowsTest : public testing::Test {
protected:
    WindowsTest() {
        log.ProgramName = "Movi-Loomster f\xFCr alle"; // "für", Windows-1252
        log.UninstallKeyName = "Movi-Loomster";
        log.GroupName = "Tarvelo";
        window = std::make_unique<TStartWindow>(log, QStringLiteral("/opt/movi/"), QSize(1024, 768),
                                                [this] {
                                                    ++removals;
                                                    return report;
                                                });
        window->show();
    }

    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    InstallLog log;
    RemovalReport report;
    int removals = 0;
    std::unique_ptr<TStartWindow> window;
};

TEST_F(WindowsTest, StartWindowNamesTheProgramAndFolder) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarvelo アンインストール"));
    EXPECT_EQ(window->header()->text(),
              QStringLiteral("Movi-Loomster für alleをアンインストールします."));
    EXPECT_EQ(window->folderEdit()->text(), QStringLiteral("/opt/movi/"));
    // Centred on 512 pixels across, on 360 down: (1024 - 512) / 2, (768 - 360) / 2.
    EXPECT_EQ(window->pos(), QPoint(256, 204));
    // Every control fits the window.
    for (QWidget* child : window->findChildren<QWidget*>())
        EXPECT_TRUE(window->rect().contains(child->geometry().adjusted(1, 1, -1, -1)))
            << child->metaObject()->className();
}

TEST_F(WindowsTest, NoToTheConfirmationChangesNothingAndAsksAgain) {
    QSignalSpy finished(window.get(), &TStartWindow::finished);
    BoxAnswerer answers(*window, {QMessageBox::No, QMessageBox::No});
    click(window->nextButton());
    click(window->nextButton());

    ASSERT_EQ(answers.seen().size(), 2u);
    for (const SeenBox& box : answers.seen()) {
        EXPECT_EQ(box.caption, QStringLiteral("確認"));
        EXPECT_EQ(box.text, QStringLiteral("ソワトをアンインストールしますか？"));
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.owner, nullptr);
    }
    EXPECT_EQ(removals, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(answers.unexpected(), 0);
}

TEST_F(WindowsTest, NoToTheQuitQuestionLeavesTheWindowOpen) {
    QSignalSpy finished(window.get(), &TStartWindow::finished);
    BoxAnswerer answers(*window, {QMessageBox::No});
    click(window->cancelButton());

    ASSERT_EQ(answers.seen().size(), 1u);
    const SeenBox& box = answers.seen()[0];
    EXPECT_EQ(box.caption, QStringLiteral("終"));
    EXPECT_EQ(box.text, QStringLiteral("あなたはソワトを終ますか？"));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.owner, window.get());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(WindowsTest, YesToTheQuitQuestionEndsWithoutRemoving) {
    QSignalSpy finished(window.get(), &TStartWindow::finished);
    BoxAnswerer answers(*window, {QMessageBox::Yes});
    click(window->cancelButton());

    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(removals, 0);
}

TEST_F(WindowsTest, ClosingTheStartWindowEndsWithoutRemoving) {
    QSignalSpy finished(window.get(), &TStartWindow::finished);
    window->close();

    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(removals, 0);
}

TEST_F(WindowsTest, YesRunsTheRemovalAndShowsTheCompletionMessage) {
    QSignalSpy finished(window.get(), &TStartWindow::finished);
    BoxAnswerer answers(*window, {QMessageBox::Yes, QMessageBox::Ok});
    click(window->nextButton());

    EXPECT_EQ(removals, 1);
    ASSERT_EQ(answers.seen().size(), 2u);
    const SeenBox& done = answers.seen()[1];
    EXPECT_EQ(done.caption, QStringLiteral("アンインストール完了"));
    EXPECT_EQ(done.text, QStringLiteral("正常に完了しました。"));
    EXPECT_EQ(done.icon, QMessageBox::Information);
    EXPECT_EQ(done.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // While it is up, the start window is hidden and the progress window
    // shows, and owns the box.
    EXPECT_FALSE(done.startVisible);
    EXPECT_TRUE(done.progressVisible);
    EXPECT_NE(done.owner, nullptr);
    EXPECT_EQ(done.progressMessage, QStringLiteral("アンインストールする..."));
    EXPECT_EQ(window->progressWindow(), nullptr);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(answers.unexpected(), 0);
}

TEST_F(WindowsTest, ProgressWindowSaysWhenEntriesWereSkipped) {
    report.Skipped = {{1, SkipReason::FileOutsideInstallFolder, "../x"},
                      {2, SkipReason::LinkOutsideGroupFolder, "../y.lnk"},
                      {0, SkipReason::GroupOutsidePrograms, "../g"},
                      {0, SkipReason::BadKeyName, ""}};
    BoxAnswerer answers(*window, {QMessageBox::Yes, QMessageBox::Ok});
    click(window->nextButton());

    ASSERT_EQ(answers.seen().size(), 2u);
    const QString message = answers.seen()[1].progressMessage;
    EXPECT_TRUE(message.startsWith(QStringLiteral("アンインストールする...")));
    // The group and the key are no entries: each has a line of its own.
    const QStringList paragraphs = message.split(QStringLiteral("\n\n"));
    ASSERT_EQ(paragraphs.size(), 4) << message.toStdString();
    EXPECT_TRUE(paragraphs[1].startsWith(QStringLiteral("2 件の項目"))) << message.toStdString();
    EXPECT_TRUE(paragraphs[2].startsWith(QStringLiteral("プログラム グループ")));
    EXPECT_TRUE(paragraphs[3].startsWith(QStringLiteral("レジストリ")));
    // The completion message is the same in every case.
    EXPECT_EQ(answers.seen()[1].text, QStringLiteral("正常に完了しました。"));
}

} // namespace
