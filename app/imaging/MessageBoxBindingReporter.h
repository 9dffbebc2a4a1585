#pragma once
// Reports the image library's binding failures to the user: one message per
// failing step, shown by the function the program gives (a message box), then
// the application ends once its event loop runs.

#include "app/imaging/PixmillBinding.h"

#include <QString>

#include <functional>

class MessageBoxBindingReporter final : public BindingReporter {
public:
    // Shows one message with its caption.
    using ShowFn = std::function<void(const QString& caption, const QString& text)>;

    explicit MessageBoxBindingReporter(ShowFn show);

    // The caption of the messages, the system's default caption.
    static QString Caption();

    void showMessage(const std::string& message) override;
    // Queues the end of the application: it quits as soon as its event loop
    // runs, so the messages already shown are seen first.
    void requestTerminate() override;
    // The loader's own words go to stderr, for whoever started the program
    // from a terminal; the messages keep the fixed text.
    void systemReason(const std::string& reason) override;
    bool terminateRequested() const { return m_terminate; }

private:
    ShowFn m_show;
    bool m_terminate = false;
};
