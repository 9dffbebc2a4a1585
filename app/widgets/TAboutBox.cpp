#include "app/widgets/TAboutBox.h"

#include "app/gui/SystemColors.h"
#include "app/gui/UiFonts.h"
#include "app/widgets/ProgramIcon.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

// A panel with a lowered outer and a raised inner bevel, one pixel each.
class BevelPanel : public QWidget {
public:
    explicit BevelPanel(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        p.fillRect(rect(), pal.color(QPalette::Window));
        const QColor light = pal.color(QPalette::Light);
        const QColor dark = pal.color(QPalette::Dark);
        drawBevel(p, rect(), dark, light);                        // outer, lowered
        drawBevel(p, rect().adjusted(1, 1, -1, -1), light, dark); // inner, raised
    }

private:
    static void drawBevel(QPainter& p, const QRect& r, const QColor& topLeft,
                          const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
};

QLabel* label(QWidget* parent, const char* name, const QRect& geometry, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

// The panel's colour: red 240, green 202, blue 166.
constexpr int32_t kPanelColor = 10930928;

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    setFont(UiFont(QStringLiteral("ＭＳ 明朝"), 15));
    setFixedSize(369, 212);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* panel = new BevelPanel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 353, 161);
    QPalette panelPalette = panel->palette();
    panelPalette.setColor(QPalette::Window, ColorRefToQColor(kPanelColor));
    panelPalette.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(panelPalette);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(8, 16, 33, 33);
    icon->setScaledContents(true);
    icon->setPixmap(ProgramIcon().pixmap(QSize(64, 64)));

    QLabel* product = label(panel, "ProductName", QRect(56, 16, 231, 19),
                            QStringLiteral("Tarvelo Movi-Loomster"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(19);
    product->setFont(bold);

    label(panel, "Version", QRect(88, 40, 88, 15), QStringLiteral("Version 1.0"));
    label(panel, "Copyright", QRect(8, 64, 329, 33),
          QStringLiteral("Copyright (C) 2005-2026 Tarvelo"))
        ->setWordWrap(true);
    label(panel, "Comments", QRect(8, 96, 289, 33),
          QStringLiteral("Tarvelo makes tools for web pages."))
        ->setWordWrap(true);
    label(panel, "Label1", QRect(8, 136, 264, 15),
          QStringLiteral("Release (mm/dd/yyyy) : 01/18/2005"));

    auto* ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                               QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setGeometry(143, 180, 83, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}
