#pragma once
// The uninstaller's first window: it names the installed program and the
// installation folder and offers "次へ >" (remove, after a confirmation) and
// "取り消す" (quit, after a question). The removal itself runs synchronously
// inside the click handler.

#include "uninstall/InstallLog.h"
#include "uninstall/Removal.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace uninstall {

class TProgressWindow;

class TStartWindow : public QWidget {
    Q_OBJECT
public:
    using Removal = std::function<RemovalReport()>;

    // `installFolder` is shown, never read back; `screen` is the size of
    // the screen; `removal` does the work once the user has confirmed.
    TStartWindow(const InstallLog& log, const QString& installFolder, QSize screen, Removal removal,
                 QWidget* parent = nullptr);

    QLabel* header() const { return m_header; }
    QLineEdit* folderEdit() const { return m_folderEdit; }
    QPushButton* nextButton() const { return m_nextButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    // The progress window while the removal runs, otherwise null.
    TProgressWindow* progressWindow() const { return m_progress; }

signals:
    // The program is to end: after the quit question, after the removal, or
    // when the window is closed.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void NextBtnClick();
    void CancelBtnClick();
    void AskQuit();
    void RunUninstall();

    QSize m_screen;
    Removal m_removal;
    QLabel* m_header;
    QLineEdit* m_folderEdit;
    QPushButton* m_nextButton;
    QPushButton* m_cancelButton;
    TProgressWindow* m_progress = nullptr;
};

} // namespace uninstall
