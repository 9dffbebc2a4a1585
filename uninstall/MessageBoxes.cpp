#include "uninstall/MessageBoxes.h"

namespace uninstall {
namespace {

std::unique_ptr<QMessageBox> makeBox(QMessageBox::Icon icon, const QString& caption,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QWidget* owner) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, owner);
    box->setWindowModality(Qt::ApplicationModal);
    if (buttons & QMessageBox::Yes) box->setDefaultButton(QMessageBox::Yes);
    return box;
}

} // namespace

std::unique_ptr<QMessageBox> MakeCorruptLogBox() {
    return makeBox(QMessageBox::Information, QStringLiteral("Deinstallation canceled!"),
                   QStringLiteral("The file Install.log is corrupted! The deinstallation can "
                                  "not be done!"),
                   QMessageBox::Ok, nullptr);
}

std::unique_ptr<QMessageBox> MakeNoWindowBox() {
    return makeBox(QMessageBox::Critical, QStringLiteral("Error"),
                   QStringLiteral("Can not Register Class"), QMessageBox::Ok, nullptr);
}

std::unique_ptr<QMessageBox> MakeConfirmBox() {
    return makeBox(QMessageBox::Question, QStringLiteral("確認"),
                   QStringLiteral("ソワトをアンインストールしますか？"),
                   QMessageBox::Yes | QMessageBox::No, nullptr);
}

std::unique_ptr<QMessageBox> MakeQuitBox(QWidget* owner) {
    return makeBox(QMessageBox::Question, QStringLiteral("終"),
                   QStringLiteral("あなたはソワトを終ますか？"), QMessageBox::Yes | QMessageBox::No,
                   owner);
}

std::unique_ptr<QMessageBox> MakeDoneBox(QWidget* owner) {
    return makeBox(QMessageBox::Information, QStringLiteral("アンインストール完了"),
                   QStringLiteral("正常に完了しました。"), QMessageBox::Ok, owner);
}

} // namespace uninstall
