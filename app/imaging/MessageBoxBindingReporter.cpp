#include "app/imaging/MessageBoxBindingReporter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <cstdio>

namespace {
MessageBoxBindingReporter::ShowFn& seam() {
    static MessageBoxBindingReporter::ShowFn fn;
    return fn;
}
} // namespace

MessageBoxBindingReporter::MessageBoxBindingReporter(QWidget* parent, ShowFn show)
    : m_parent(parent), m_show(std::move(show)) {}

void MessageBoxBindingReporter::SetMessageSeam(ShowFn show) {
    seam() = std::move(show);
}

QString MessageBoxBindingReporter::Caption() {
    return QStringLiteral("Error");
}

void MessageBoxBindingReporter::showMessage(const std::string& message) {
    const QString text = QString::fromStdString(message);
    if (m_show) {
        m_show(m_parent, Caption(), text);
    } else if (seam()) {
        seam()(m_parent, Caption(), text);
    } else {
        QMessageBox box(QMessageBox::Critical, Caption(), text, QMessageBox::Ok, m_parent);
        box.exec();
    }
}

void MessageBoxBindingReporter::requestTerminate() {
    m_terminate = true;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void MessageBoxBindingReporter::systemReason(const std::string& reason) {
    std::fprintf(stderr, "%s\n", reason.c_str());
}
