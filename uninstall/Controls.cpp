#include "uninstall/Controls.h"

namespace uninstall {

QLabel* CreateWhiteText(QWidget* parent, const QRect& geometry, const QString& text, Edge edge,
                        TextPlace place) {
    auto* label = CreateChild<QLabel>(parent, geometry, text);
    if (place == TextPlace::Header) {
        label->setAlignment(Qt::AlignCenter);
    } else {
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setMargin(6);
    }
    label->setWordWrap(true);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    switch (edge) {
    case Edge::None:
        break;
    case Edge::Static:
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        break;
    case Edge::Client:
        label->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        break;
    }
    return label;
}

QFrame* CreateSeparator(QWidget* parent, int y, int width) {
    auto* line = CreateChild<QFrame>(parent, QRect(0, y, width, 2));
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setLineWidth(1);
    return line;
}

void SetUpWindow(QWidget* window, bool maximizeButton) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (maximizeButton) flags |= Qt::WindowMaximizeButtonHint;
    window->setWindowFlags(flags);
    window->setWindowTitle(WindowTitle);
    window->setFixedSize(ClientSize);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

QPoint WindowPosition(QSize screen, int centreWidth) {
    // Integer division truncates toward zero, also on screens smaller than
    // the window.
    return QPoint((screen.width() - centreWidth) / 2, (screen.height() - WindowHeight) / 2);
}

} // namespace uninstall
