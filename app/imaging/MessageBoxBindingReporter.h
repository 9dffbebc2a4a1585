#pragma once
// Reports the image library's binding failures to the user: one message box
// per failing step, then the application ends once its event loop runs.

#include "app/imaging/PixmillBinding.h"

#include <QString>

#include <functional>

class QWidget;

class MessageBoxBindingReporter final : public BindingReporter {
public:
    // Shows one box; replaced in tests, which count the boxes instead.
    using ShowFn =
        std::function<void(QWidget* parent, const QString& caption, const QString& text)>;

    // `show` empty: the process-wide seam when set, otherwise a real box.
    explicit MessageBoxBindingReporter(QWidget* parent = nullptr, ShowFn show = {});

    // Replaces the box for every reporter made without its own `show`;
    // empty restores real boxes.
    static void SetMessageSeam(ShowFn show);

    // The caption of the boxes, the system's default caption.
    static QString Caption();

    void showMessage(const std::string& message) override;
    // Queues the end of the application: it quits as soon as its event loop
    // runs, so the boxes already shown are seen first.
    void requestTerminate() override;
    // The loader's own words go to stderr, for whoever started the program
    // from a terminal; the boxes keep the fixed message.
    void systemReason(const std::string& reason) override;
    bool terminateRequested() const { return m_terminate; }

private:
    QWidget* m_parent;
    ShowFn m_show;
    bool m_terminate = false;
};
