#pragma once
// A drop-down list for choosing a colour: sixteen fixed colours and a
// seventeenth entry that opens the colour dialog. Each entry shows a swatch
// and a name in one of three languages; the choice is exposed as a colour
// value (COLORREF or system colour) and as an HTML text "#RRGGBB".

#include <QColor>
#include <QComboBox>
#include <QString>

#include <cstdint>

class QPainter;

class TTintelColorComboBox : public QComboBox {
    Q_OBJECT
public:
    enum TCLanguage { lgEnglish = 0, lgDeutsch = 1, lgFrensh = 2 };

    // Number of entries: sixteen fixed colours and the custom one.
    static constexpr int kEntryCount = 17;
    static constexpr int kCustomEntry = 16;

    explicit TTintelColorComboBox(QWidget* parent = nullptr);

    TCLanguage Language() const { return FLanguage; }
    void SetLanguage(TCLanguage value);
    int32_t ColorValue() const { return FColorValue; }
    void SetColorValue(int32_t value); // COLORREF or system colour
    QString HTMLcolor() const { return FHTMLcolor; }
    void SetHTMLcolor(const QString& text);

    // The name an entry shows in the current language.
    QString EntryName(int index) const;
    // The colour an entry's swatch shows: the table colour, or the current
    // colour for the custom entry.
    QColor EntrySwatch(int index) const;

    // The text the list stores for a colour value: its identifier for a
    // named colour ("clRed", "clWindowText"), otherwise "$" and 8 hex digits.
    static QString ColorToItemText(int32_t value);

signals:
    // After every change of selection by the user, after ColorValue and
    // HTMLcolor are updated. Never fired by setting the properties from code.
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Change(int index);

    TCLanguage FLanguage = lgEnglish;
    int32_t FColorValue = 0;
    QString FHTMLcolor = QStringLiteral("#000000");
};

// Draws one entry into `rect` as the list shows it: the background, a swatch
// from rect.left() + 4 to x = 24 with a black outline, and the name from
// rect.left() + 30, on one line, vertically centred.
void PaintColorEntry(QPainter& painter, const QRect& rect, const QColor& swatch,
                     const QString& name, const QColor& background, const QColor& text);
