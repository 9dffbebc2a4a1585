#pragma once
// Every modal thing the windows show goes through one seam: message boxes,
// file dialogs, the colour dialog, prepared dialogs such as the about box,
// and handing a path or address to the desktop. Tests install a fake
// (tests/common/FakeModals.h), so nothing blocks and what would have been
// shown can be checked.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QDialog;
class QWidget;

// A message box: icon, caption, text and buttons.
struct MessageRequest {
    QMessageBox::Icon icon = QMessageBox::Critical;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QString informativeText; // under the text, smaller (may be empty)
    QString detailedText;    // behind the box's details button (may be empty)
};

// A file dialog.
struct FileDialogRequest {
    enum Mode { Open, Save };
    Mode mode = Open;
    QString name;   // which dialog: "OpenDialog1", "SaveDialog2", "OpenDialog2", "SaveDialog1"
    QString filter; // "description|patterns|description|patterns..."
    QString defaultSuffix; // added when the chosen name has no extension ("fmo")
    QString fileName;      // the name the dialog starts with
    // With several filters: the one shown first (a description of `filter`
    // with its patterns, "GIF アニメーション (*.gif)"; empty: the first), and
    // where the filter the user left chosen goes (may be null). A name
    // without an extension then gets the chosen filter's.
    QString selectedFilter;
    QString* chosenFilter = nullptr;
};

// "a|b|c|d" filters as the file dialog's name filters ("a (b)", "c (d)").
QStringList NameFiltersFromFilter(const QString& filter);

class Modals {
public:
    virtual ~Modals() = default;

    // Shows a message box; returns the button chosen.
    virtual QMessageBox::StandardButton message(QWidget* owner, const MessageRequest& request) = 0;
    // Shows a file dialog; returns the chosen path as the user gave it,
    // empty when cancelled.
    virtual QString fileDialog(QWidget* owner, const FileDialogRequest& request) = 0;
    // The colour dialog: preset COLORREF in, chosen COLORREF out, nullopt
    // when cancelled.
    virtual std::optional<int32_t> colorDialog(QWidget* owner, int32_t preset) = 0;
    // Runs a prepared dialog (the about box) modally; returns its result.
    virtual int runDialog(QDialog& dialog) = 0;
    // Hands a path or an address to the desktop's handler and returns at
    // once; `failed` is called later, on this thread, when the handler could
    // not be started or reported failure.
    virtual void desktopOpen(const std::string& pathOrAddress, std::function<void()> failed) = 0;
};

// The seam in use: the real dialogs unless a test installed another.
Modals& CurrentModals();
// Installs `modals` (null restores the real dialogs); the caller keeps it alive.
void SetModals(Modals* modals);

// Shorthands over CurrentModals().
// A message box with a stop icon and an OK button.
void ShowStopMessage(QWidget* owner, const QString& title, const QString& text);
// A file dialog; the default suffix goes onto a chosen name typed without one.
QString ChooseFile(QWidget* owner, const FileDialogRequest& request);
// Hands a path or an address to the desktop's handler. When that fails, a
// stop message says so (DesktopOpenFailedText, then the path) over `owner`,
// or over no window once `owner` is gone.
void OpenOnDesktop(QWidget* owner, const std::string& pathOrAddress);
extern const char* const DesktopOpenFailedText; // "デスクトップで開けません："
