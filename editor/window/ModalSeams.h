#pragma once
// The window's file dialogs and modal dialogs, behind seams that tests
// replace so that nothing blocks and what would have been shown is visible.

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

// "a|b|c|d" filters as the file dialog's name filters ("a (b)", "c (d)").
QStringList NameFiltersFromFilter(const QString& filter);

// A file dialog the window wants shown.
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

// Every modal thing the window shows goes through these seams, so that tests
// never block and can check what would have been shown.
class ModalSeams {
public:
    // Shows a file dialog; returns the chosen path, empty when cancelled.
    using FileDialogFn = std::function<QString(QWidget* owner, const FileDialogRequest&)>;
    // Runs a prepared dialog or message box modally; returns its result.
    using DialogFn = std::function<int(QDialog&)>;

    static void SetFileDialog(FileDialogFn fn); // empty restores the real dialog
    static void SetDialogRunner(DialogFn fn);   // empty restores QDialog::exec
    static QString RunFileDialog(QWidget* owner, const FileDialogRequest& request);
    static int RunDialog(QDialog& dialog);
};
