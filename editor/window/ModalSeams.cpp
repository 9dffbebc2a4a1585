#include "editor/window/ModalSeams.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

ModalSeams::FileDialogFn g_fileDialog;
ModalSeams::DialogFn g_dialogRunner;

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
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
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
    QString path = g_fileDialog ? g_fileDialog(owner, request) : realFileDialog(owner, request);
    if (path.isEmpty() || request.defaultSuffix.isEmpty()) return path;
    // The default extension goes onto a name typed without one.
    if (!QFileInfo(path).fileName().contains(u'.')) path += u'.' + request.defaultSuffix;
    return path;
}

int ModalSeams::RunDialog(QDialog& dialog) {
    return g_dialogRunner ? g_dialogRunner(dialog) : dialog.exec();
}
