#include "app/imaging/MessageBoxBindingReporter.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>

MessageBoxBindingReporter::MessageBoxBindingReporter(ShowFn show) : m_show(std::move(show)) {}

QString MessageBoxBindingReporter::Caption() {
    return QStringLiteral("Error");
}

void MessageBoxBindingReporter::showMessage(const std::string& message) {
    if (m_show) m_show(Caption(), QString::fromStdString(message));
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
