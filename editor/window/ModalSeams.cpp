#include "editor/window/ModalSeams.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

ModalSeams::FileDialogFn g_fileDialog;
ModalSeams::DialogFn g_dialogRunner;

// The extension of a name filter's first pattern: "gif" for "GIF (*.gif)".
QString suffixOfFilter(const QString& nameFilter) {
    const qsizetype star = nameFilter.indexOf(QStringLiteral("(*."));
    if (star < 0) return {};
    const qsizetype from = star + 3;
    qsizetype to = from;
    while (to < nameFilter.size() && nameFilter[to] != u')' && nameFilter[to] != u' ' &&
           nameFilter[to] != u';')
        ++to;
    return nameFilter.mid(from, to - from);
}

QString realFileDialog(QWidget* owner, const FileDialogRequest& r) {
    QFileDialog dialog(owner);
    dialog.setObjectName(r.name);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(NameFiltersFromFilter(r.filter));
    dialog.setDefaultSuffix(r.defaultSuffix);
    if (r.mode == FileDialogRequest::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!r.selectedFilter.isEmpty()) {
        dialog.selectNameFilter(r.selectedFilter);
        const QString suffix = suffixOfFilter(dialog.selectedNameFilter());
        if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    }
    // The extension added to a bare name follows the filter chosen.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const QString suffix = suffixOfFilter(f);
        if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    });
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (r.chosenFilter) *r.chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().first();
}

} // namespace

QStringList NameFiltersFromFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        const QString& description = parts[i];
        // A description that already shows its patterns keeps them once.
        if (description.endsWith(QStringLiteral("(") + patterns + QStringLiteral(")")))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + patterns + QStringLiteral(")");
    }
    return filters;
}

void ModalSeams::SetFileDialog(FileDialogFn fn) {
    g_fileDialog = std::move(fn);
}

void ModalSeams::SetDialogRunner(DialogFn fn) {
    g_dialogRunner = std::move(fn);
}

QString ModalSeams::RunFileDialog(QWidget* owner, const FileDialogRequest& request) {
    if (request.chosenFilter) *request.chosenFilter = request.selectedFilter;
    QString path = g_fileDialog ? g_fileDialog(owner, request) : realFileDialog(owner, request);
    QString suffix = request.chosenFilter ? suffixOfFilter(*request.chosenFilter) : QString();
    if (suffix.isEmpty()) suffix = request.defaultSuffix;
    if (path.isEmpty() || suffix.isEmpty()) return path;
    // The default extension goes onto a name typed without one.
    if (!QFileInfo(path).fileName().contains(u'.')) path += u'.' + suffix;
    return path;
}

int ModalSeams::RunDialog(QDialog& dialog) {
    return g_dialogRunner ? g_dialogRunner(dialog) : dialog.exec();
}
