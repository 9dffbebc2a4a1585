#include "app/widgets/TTintelColorComboBox.h"

#include "app/gui/SystemColors.h"
#include "app/widgets/Modals.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

struct Entry {
    int32_t color; // COLORREF
    const char* itemText;
    const char* english;
    const char* german;
    const char* french;
};

// UTF-8 literals: the German and French names carry umlauts and accents.
const Entry kEntries[TTintelColorComboBox::kEntryCount] = {
    {0x000000, "clBlack", "Black", "Schwarz", "Noir"},
    {0x000080, "clMaroon", "Maroon", "Dunkelrot", "Rouge foncé"},
    {0x008000, "clGreen", "Green", "Grün", "Vert"},
    {0x008080, "clOlive", "Olive", "Oliv", "Marron clair"},
    {0x800000, "clNavy", "Navy", "Dunkelblau", "Bleu foncé"},
    {0x800080, "clPurple", "Purple", "Purpur", "Violet"},
    {0x808000, "clTeal", "Teal", "Grünblau", "Bleu-vert"},
    {0x808080, "clGray", "Gray", "Grau", "Gris"},
    {0xC0C0C0, "clSilver", "Silver", "Silber", "Argenté"},
    {0x0000FF, "clRed", "Red", "Rot", "Rouge"},
    {0x00FF00, "clLime", "Lime", "Hellgrün", "Vert"},
    {0x00FFFF, "clYellow", "Yellow", "Gelb", "Jaune"},
    {0xFF0000, "clBlue", "Blue", "Blau", "Bleu"},
    {0xFF00FF, "clFuchsia", "Fuchsia", "Rosa", "Fuchsia"},
    {0xFFFF00, "clAqua", "Aqua", "Hellblau", "Vert d'eau"},
    {0xFFFFFF, "clWhite", "White", "Weiß", "Blanc"},
    {0xFFFFFF, "clWhite", "More...", "Mehr...", "Autres...."},
};

// Identifiers of the system colours, by index; empty where none exists.
const char* const kSystemColorNames[] = {
    "clScrollBar",
    "clBackground",
    "clActiveCaption",
    "clInactiveCaption",
    "clMenu",
    "clWindow",
    "clWindowFrame",
    "clMenuText",
    "clWindowText",
    "clCaptionText",
    "clActiveBorder",
    "clInactiveBorder",
    "clAppWorkSpace",
    "clHighlight",
    "clHighlightText",
    "clBtnFace",
    "clBtnShadow",
    "clGrayText",
    "clBtnText",
    "clInactiveCaptionText",
    "clBtnHighlight",
    "cl3DDkShadow",
    "cl3DLight",
    "clInfoText",
    "clInfoBk",
    "",
    "clHotLight",
    "clGradientActiveCaption",
    "clGradientInactiveCaption",
    "clMenuHighlight",
    "clMenuBar",
};

int itemHeightFor(const QFontMetrics& metrics) {
    return std::max(16, metrics.height() + 2);
}

// Draws the entries of the open list.
class ColorEntryDelegate : public QStyledItemDelegate {
public:
    explicit ColorEntryDelegate(TTintelColorComboBox* combo)
        : QStyledItemDelegate(combo), m_combo(combo) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        PaintColorEntry(*painter, option.rect, m_combo->EntrySwatch(index.row()),
                        m_combo->EntryName(index.row()),
                        selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base),
                        selected ? pal.color(QPalette::HighlightedText)
                                 : pal.color(QPalette::Text));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), itemHeightFor(option.fontMetrics));
    }

private:
    TTintelColorComboBox* m_combo;
};

} // namespace

void PaintColorEntry(QPainter& painter, const QRect& rect, const QColor& swatch,
                     const QString& name, const QColor& background, const QColor& text) {
    painter.save();
    painter.fillRect(rect, background);
    // The swatch ends at x = 24 whatever the entry's left edge, as the list
    // has always drawn it.
    const int left = rect.left() + 4;
    const QRect box(left, rect.top() + 1, std::max(0, 24 - left), std::max(0, rect.height() - 2));
    if (!box.isEmpty()) {
        painter.fillRect(box, swatch);
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
    }
    QRect textRect = rect;
    textRect.setLeft(rect.left() + 30);
    painter.setPen(text);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    painter.restore();
}

TTintelColorComboBox::TTintelColorComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setItemDelegate(new ColorEntryDelegate(this));
    for (const Entry& e : kEntries)
        addItem(QString::fromLatin1(e.itemText));
    for (int i = 0; i < count(); ++i)
        setItemData(i, EntryName(i), Qt::AccessibleTextRole);
    setCurrentIndex(0);
    resize(120, sizeHint().height());
    connect(this, &QComboBox::activated, this, &TTintelColorComboBox::Change);
}

QString TTintelColorComboBox::EntryName(int index) const {
    if (index < 0 || index >= kEntryCount) return {};
    const Entry& e = kEntries[index];
    switch (FLanguage) {
    case lgFrensh:
        return QString::fromUtf8(e.french);
    case lgDeutsch:
        return QString::fromUtf8(e.german);
    default:
        return QString::fromUtf8(e.english);
    }
}

QColor TTintelColorComboBox::EntrySwatch(int index) const {
    if (index == kCustomEntry) return ColorRefToQColor(FColorValue);
    if (index < 0 || index >= kEntryCount) return QColor(Qt::black);
    return ColorRefToQColor(kEntries[index].color);
}

QString TTintelColorComboBox::ColorToItemText(int32_t value) {
    for (int i = 0; i < kCustomEntry; ++i) {
        if (kEntries[i].color == value) return QString::fromLatin1(kEntries[i].itemText);
    }
    const auto bits = static_cast<uint32_t>(value);
    if ((bits & 0xFFFFFF00u) == 0x80000000u) {
        const uint32_t index = bits & 0xFFu;
        if (index < std::size(kSystemColorNames) && *kSystemColorNames[index]) {
            return QString::fromLatin1(kSystemColorNames[index]);
        }
    }
    return QStringLiteral("$%1").arg(bits, 8, 16, QLatin1Char('0')).toUpper();
}

void TTintelColorComboBox::SetLanguage(TCLanguage value) {
    FLanguage = value;
    for (int i = 0; i < count(); ++i)
        setItemData(i, EntryName(i), Qt::AccessibleTextRole);
    update();
    if (view()) view()->viewport()->update();
}

void TTintelColorComboBox::SetColorValue(int32_t value) {
    const QString text = ColorToItemText(value);
    int match = -1;
    for (int i = 0; i < count() - 1; ++i) {
        if (itemText(i) == text) match = i;
    }
    const QSignalBlocker block(this);
    if (match < 0) {
        match = kCustomEntry;
        setItemText(kCustomEntry, text);
    }
    setCurrentIndex(match);
    FColorValue = value;

    const auto rgb = static_cast<uint32_t>(ResolveSystemColor(value)) & 0xFFFFFFu;
    const int red = static_cast<int>(rgb & 0xFF);
    const int green = static_cast<int>((rgb >> 8) & 0xFF);
    const int blue = static_cast<int>(rgb >> 16);
    // Stored directly rather than through SetHTMLcolor: the resolved colour
    // of a system colour differs from its code, and reading the text back
    // would replace the code by today's colour of that role.
    FHTMLcolor = QStringLiteral("#%1%2%3")
                     .arg(red, 2, 16, QLatin1Char('0'))
                     .arg(green, 2, 16, QLatin1Char('0'))
                     .arg(blue, 2, 16, QLatin1Char('0'))
                     .toUpper();
    update();
}

void TTintelColorComboBox::SetHTMLcolor(const QString& text) {
    QString upper = text.toUpper();
    if (upper.isEmpty()) upper = QStringLiteral("#000000");
    // Character 1 (normally "#") is not looked at; the next six are the red,
    // green and blue pairs. A text of any other length is refused, so that a
    // short form such as "#FFF" is not read as some unrelated colour.
    if (upper.size() != 7) return;
    const QString hex = upper.mid(5, 2) + upper.mid(3, 2) + upper.mid(1, 2);
    uint colour = 0;
    for (const QChar c : hex) {
        const int digit = QStringLiteral("0123456789ABCDEF").indexOf(c);
        if (digit < 0) return;
        colour = colour * 16 + static_cast<uint>(digit);
    }
    if (static_cast<int32_t>(colour) != FColorValue) SetColorValue(static_cast<int32_t>(colour));
    FHTMLcolor = upper;
}

void TTintelColorComboBox::Change(int index) {
    if (index == kCustomEntry) {
        const std::optional<int32_t> chosen = CurrentModals().colorDialog(this, FColorValue);
        if (chosen) SetColorValue(*chosen);
    } else if (index >= 0 && index < kCustomEntry) {
        SetColorValue(kEntries[index].color);
    }
    emit OnChange();
}

void TTintelColorComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    if (currentIndex() < 0) return; // no colour chosen: an empty field
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    const bool focused = hasFocus() && !view()->isVisible();
    // The option's palette is set to the widget's state (disabled, inactive).
    const QPalette& pal = opt.palette;
    PaintColorEntry(painter, field, EntrySwatch(currentIndex()), EntryName(currentIndex()),
                    focused ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base),
                    focused ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
}
