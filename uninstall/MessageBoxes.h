#pragma once
// The uninstaller's message boxes, built here so that their texts, icons and
// buttons are kept in one place; callers run them with exec().

#include <QMessageBox>

#include <memory>

namespace uninstall {

// Install.log is missing or unusable; no owner.
std::unique_ptr<QMessageBox> MakeCorruptLogBox();
// The windows cannot be created; no owner.
std::unique_ptr<QMessageBox> MakeNoWindowBox();
// "Shall the software be removed?" after "次へ >"; no owner. Yes or No.
std::unique_ptr<QMessageBox> MakeConfirmBox();
// "Quit?" after "取り消す"; owned by the start window. Yes or No.
std::unique_ptr<QMessageBox> MakeQuitBox(QWidget* owner);
// The removal is done; owned by the progress window.
std::unique_ptr<QMessageBox> MakeDoneBox(QWidget* owner);

} // namespace uninstall
