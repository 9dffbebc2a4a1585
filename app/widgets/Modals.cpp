#include "app/widgets/Modals.h"

#include "app/gui/SystemColors.h"
#include "app/widgets/DesktopOpen.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>

const char* const DesktopOpenFailedText = "デスクトップで開けません：";

namespace {

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

// The real dialogs.
class WindowModals final : public Modals {
public:
    QMessageBox::StandardButton message(QWidget* owner, const MessageRequest& r) override {
        QMessageBox box(r.icon, r.title, r.text, r.buttons, owner);
        box.setInformativeText(r.informativeText);
        box.setDetailedText(r.detailedText);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }

    QString fileDialog(QWidget* owner, const FileDialogRequest& r) override {
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
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& f) {
                             const QString suffix = suffixOfFilter(f);
                             if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
                         });
        if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        if (r.chosenFilter) *r.chosenFilter = dialog.selectedNameFilter();
        return dialog.selectedFiles().first();
    }

    std::optional<int32_t> colorDialog(QWidget* owner, int32_t preset) override {
        const QColor chosen = QColorDialog::getColor(ColorRefToQColor(preset), owner);
        if (!chosen.isValid()) return std::nullopt;
        return QColorToColorRef(chosen);
    }

    int runDialog(QDialog& dialog) override { return dialog.exec(); }

    void desktopOpen(const std::string& pathOrAddress, std::function<void()> failed) override {
        StartDesktopOpen(pathOrAddress, [failed = std::move(failed)](bool handedOver) {
            if (!handedOver && failed) failed();
        });
    }
};

WindowModals g_windowModals;
Modals* g_modals = nullptr;

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

Modals& CurrentModals() {
    return g_modals ? *g_modals : g_windowModals;
}

void SetModals(Modals* modals) {
    g_modals = modals;
}

void ShowStopMessage(QWidget* owner, const QString& title, const QString& text) {
    MessageRequest request;
    request.title = title;
    request.text = text;
    CurrentModals().message(owner, request);
}

QString ChooseFile(QWidget* owner, const FileDialogRequest& request) {
    if (request.chosenFilter) *request.chosenFilter = request.selectedFilter;
    QString path = CurrentModals().fileDialog(owner, request);
    QString suffix = request.chosenFilter ? suffixOfFilter(*request.chosenFilter) : QString();
    if (suffix.isEmpty()) suffix = request.defaultSuffix;
    if (path.isEmpty() || suffix.isEmpty()) return path;
    // The default extension goes onto a name typed without one.
    if (!QFileInfo(path).fileName().contains(u'.')) path += u'.' + suffix;
    return path;
}

void OpenOnDesktop(QWidget* owner, const std::string& pathOrAddress) {
    CurrentModals().desktopOpen(pathOrAddress, [owner = QPointer<QWidget>(owner), pathOrAddress] {
        ShowStopMessage(owner, QGuiApplication::applicationDisplayName(),
                        QString::fromUtf8(DesktopOpenFailedText) + u'\n' +
                            QFile::decodeName(pathOrAddress.c_str()));
    });
}
