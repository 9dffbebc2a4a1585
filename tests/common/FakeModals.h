#pragma once
// The tests' side of the modal seam: installed for its lifetime, it records
// every message box, file dialog, colour dialog, prepared dialog and desktop
// open, and answers as the test planned, so nothing blocks.

#include "app/widgets/Modals.h"

#include <QDialog>

#include <string>
#include <vector>

namespace movitest {

class FakeModals final : public Modals {
public:
    FakeModals() { SetModals(this); }
    ~FakeModals() override { SetModals(nullptr); }
    FakeModals(const FakeModals&) = delete;
    FakeModals& operator=(const FakeModals&) = delete;

    QMessageBox::StandardButton message(QWidget*, const MessageRequest& request) override {
        messages.push_back(request);
        return messageAnswer;
    }
    QString fileDialog(QWidget*, const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        return fileAnswer;
    }
    std::optional<int32_t> colorDialog(QWidget*, int32_t preset) override {
        colorPresets.push_back(preset);
        return colorAnswer;
    }
    int runDialog(QDialog& dialog) override {
        dialogs.push_back(dialog.windowTitle());
        return dialogAnswer;
    }
    // A refused open reports its failure at once.
    void desktopOpen(const std::string& pathOrAddress, std::function<void()> failed) override {
        opened.push_back(pathOrAddress);
        if (!desktopAnswer && failed) failed();
    }

    // The texts of the message boxes shown, in order.
    std::vector<QString> messageTexts() const {
        std::vector<QString> texts;
        for (const MessageRequest& m : messages)
            texts.push_back(m.text);
        return texts;
    }

    // What was shown.
    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<int32_t> colorPresets;
    std::vector<QString> dialogs; // window titles of the prepared dialogs
    std::vector<std::string> opened;

    // The answers.
    QMessageBox::StandardButton messageAnswer = QMessageBox::Ok;
    QString fileAnswer; // empty: cancelled
    std::optional<int32_t> colorAnswer;
    int dialogAnswer = QDialog::Accepted;
    bool desktopAnswer = true;
};

} // namespace movitest
