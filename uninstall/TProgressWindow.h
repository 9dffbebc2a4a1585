#pragma once
// The window shown while the removal runs. Its two buttons stay disabled;
// it only tells the user what is happening.

#include <QWidget>

class QLabel;
class QPushButton;

namespace uninstall {

class TProgressWindow : public QWidget {
    Q_OBJECT
public:
    // `owner` is the start window; `screen` the size of the screen.
    TProgressWindow(QSize screen, QWidget* owner);

    QLabel* header() const { return m_header; }
    QLabel* message() const { return m_message; }

    // Adds to the message that `entries` names from the log were skipped
    // because they lead out of their folders; when `groupRefused`, that the
    // program group's folder was left because its name leads out of the
    // Programs folder; when `keyRefused`, that the registry entry was left
    // because its name was unusable. Each on a line of its own.
    void ShowSkipped(int entries, bool groupRefused, bool keyRefused);

private:
    QLabel* m_header;
    QLabel* m_message;
};

} // namespace uninstall
