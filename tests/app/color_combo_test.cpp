#include "common/FakeModals.h"
#include "common/QtTestApplication.h"

#include "app/gui/SystemColors.h"
#include "app/widgets/TTintelColorComboBox.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTest>

#include <optional>
#include <vector>

namespace {

// A window with one colour picker, shown and focused, and a colour dialog
// seam that records its presets and answers as planned.
class ColorCombo : public testing::Test {
protected:
    void SetUp() override {
        combo.show();
        combo.activateWindow();
        combo.setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
    }

    // Opens the list and clicks an entry, as a user picks a colour.
    void pick(int entry) {
        combo.showPopup();
        QAbstractItemView* list = combo.view();
        ASSERT_TRUE(list->isVisible());
        const QRect r = list->visualRect(list->model()->index(entry, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }

    movitest::FakeModals modals;
    std::optional<int32_t>& answer = modals.colorAnswer;
    std::vector<int32_t>& presets = modals.colorPresets;
    TTintelColorComboBox combo;
    QSignalSpy changes{&combo, &TTintelColorComboBox::OnChange};
};

TEST_F(ColorCombo, StartsBlackWithSeventeenEntries) {
    EXPECT_EQ(combo.count(), 17);
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.ColorValue(), 0);
    EXPECT_EQ(combo.HTMLcolor(), "#000000");
    EXPECT_EQ(combo.width(), 120);
    EXPECT_EQ(combo.itemText(0), "clBlack");
    EXPECT_EQ(combo.itemText(1), "clMaroon");
    EXPECT_EQ(combo.itemText(15), "clWhite");
    EXPECT_EQ(combo.itemText(16), "clWhite");
}

TEST_F(ColorCombo, ChoosingRedWithTheMouse) {
    pick(9);
    EXPECT_EQ(combo.currentIndex(), 9);
    EXPECT_EQ(combo.ColorValue(), 255);
    EXPECT_EQ(combo.HTMLcolor(), "#FF0000");
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(presets.empty());
}

TEST_F(ColorCombo, ArrowKeysChooseTheNextEntry) {
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(combo.ColorValue(), 128); // maroon: red 128 in the low byte
    EXPECT_EQ(combo.HTMLcolor(), "#800000");
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.ColorValue(), 0x008000);
    EXPECT_EQ(changes.count(), 2);
}

// Setting HTMLcolor from code: the entry it selects, the values it leaves,
// and no change notice.
struct HtmlRow {
    const char* name;
    const char* text;
    int entry;
    int32_t colorValue;
    const char* html;
};

class HtmlColorText : public ColorCombo, public testing::WithParamInterface<HtmlRow> {};

TEST_P(HtmlColorText, SelectsAndNormalises) {
    combo.SetColorValue(0xC0C0C0); // start from silver, entry 8
    ASSERT_EQ(combo.currentIndex(), 8);
    combo.SetHTMLcolor(QString::fromLatin1(GetParam().text));
    EXPECT_EQ(combo.currentIndex(), GetParam().entry);
    EXPECT_EQ(combo.ColorValue(), GetParam().colorValue);
    EXPECT_EQ(combo.HTMLcolor(), GetParam().html);
    EXPECT_EQ(changes.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlColorText,
    testing::Values(HtmlRow{"CustomOrange", "#ff8000", 16, 0x0080FF, "#FF8000"},
                    HtmlRow{"LimeIsAFixedEntry", "#00FF00", 10, 0x00FF00, "#00FF00"},
                    HtmlRow{"EmptyIsBlack", "", 0, 0, "#000000"},
                    HtmlRow{"FirstCharacterNotLookedAt", "x0000ff", 12, 0xFF0000, "X0000FF"},
                    HtmlRow{"NotHexadecimal", "#GG0000", 8, 0xC0C0C0, "#C0C0C0"},
                    HtmlRow{"ShortFormRefused", "#FFF", 8, 0xC0C0C0, "#C0C0C0"},
                    HtmlRow{"LongTextRefused", "#FF0000FF", 8, 0xC0C0C0, "#C0C0C0"},
                    HtmlRow{"HexPrefixRefused", "#AB000X", 8, 0xC0C0C0, "#C0C0C0"},
                    HtmlRow{"SpaceRefused", "#FF 000", 8, 0xC0C0C0, "#C0C0C0"}),
    [](const testing::TestParamInfo<HtmlRow>& info) { return info.param.name; });

TEST_F(ColorCombo, CustomColourGetsItsHexItemText) {
    combo.SetHTMLcolor("#ff8000");
    EXPECT_EQ(combo.itemText(16), "$000080FF");
    combo.SetColorValue(0x123456);
    EXPECT_EQ(combo.itemText(16), "$00123456");
    EXPECT_EQ(combo.HTMLcolor(), "#563412");
    combo.SetColorValue(0xFFFFFF);
    EXPECT_EQ(combo.currentIndex(), 15); // the fixed white, not the custom entry
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ColorCombo, SystemColourResolvesForItsHtmlText) {
    const auto windowText = static_cast<int32_t>(0x80000008u);
    combo.SetColorValue(windowText);
    EXPECT_EQ(combo.ColorValue(), windowText);
    EXPECT_EQ(combo.currentIndex(), 16);
    EXPECT_EQ(combo.itemText(16), "clWindowText");
    const QColor text = QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
    EXPECT_EQ(combo.HTMLcolor(), text.name().toUpper());
}

TEST_F(ColorCombo, MoreConfirmedWithAFixedColourSelectsThatEntry) {
    combo.SetColorValue(0x0000FF);
    answer = 0xFF0000; // pure blue
    pick(16);
    ASSERT_EQ(presets, std::vector<int32_t>{0x0000FF});
    EXPECT_EQ(combo.currentIndex(), 12);
    EXPECT_EQ(combo.ColorValue(), 0xFF0000);
    EXPECT_EQ(combo.HTMLcolor(), "#0000FF");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(ColorCombo, MoreConfirmedWithACustomColour) {
    answer = 0x336699;
    pick(16);
    EXPECT_EQ(combo.currentIndex(), 16);
    EXPECT_EQ(combo.ColorValue(), 0x336699);
    EXPECT_EQ(combo.HTMLcolor(), "#996633");
    EXPECT_EQ(combo.itemText(16), "$00336699");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(ColorCombo, MoreCancelledChangesNothingButStaysOnTheEntry) {
    combo.SetColorValue(0x00FF00);
    answer.reset();
    pick(16);
    EXPECT_EQ(presets.size(), 1u);
    EXPECT_EQ(combo.currentIndex(), 16);
    EXPECT_EQ(combo.ColorValue(), 0x00FF00);
    EXPECT_EQ(combo.HTMLcolor(), "#00FF00");
    EXPECT_EQ(combo.EntrySwatch(16), QColor(0, 255, 0));
    EXPECT_EQ(changes.count(), 1);
}

struct LanguageRow {
    const char* name;
    TTintelColorComboBox::TCLanguage language;
    std::vector<const char*> names; // entries 0, 2, 10, 14, 15, 16
};

class Languages : public ColorCombo, public testing::WithParamInterface<LanguageRow> {};

TEST_P(Languages, ShowNamesAndKeepTheSelection) {
    combo.SetHTMLcolor("#FF8000");
    combo.SetLanguage(GetParam().language);
    EXPECT_EQ(combo.Language(), GetParam().language);
    const int entries[] = {0, 2, 10, 14, 15, 16};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(combo.EntryName(entries[i]), QString::fromUtf8(GetParam().names[i]))
            << "entry " << entries[i];
    }
    EXPECT_EQ(combo.currentIndex(), 16);
    EXPECT_EQ(combo.ColorValue(), 0x0080FF);
    EXPECT_EQ(combo.HTMLcolor(), "#FF8000");
    EXPECT_EQ(combo.itemText(0), "clBlack");
    EXPECT_EQ(changes.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    All, Languages,
    testing::Values(LanguageRow{"English",
                                TTintelColorComboBox::lgEnglish,
                                {"Black", "Green", "Lime", "Aqua", "White", "More..."}},
                    LanguageRow{"German",
                                TTintelColorComboBox::lgDeutsch,
                                {"Schwarz", "Grün", "Hellgrün", "Hellblau", "Weiß", "Mehr..."}},
                    LanguageRow{"French",
                                TTintelColorComboBox::lgFrensh,
                                {"Noir", "Vert", "Vert", "Vert d'eau", "Blanc", "Autres...."}}),
    [](const testing::TestParamInfo<LanguageRow>& info) { return info.param.name; });

TEST_F(ColorCombo, ClosedFieldShowsTheSwatchOfTheChosenColour) {
    combo.SetHTMLcolor("#FF8000");
    const QImage shot = combo.grab().toImage();
    // Inside the swatch (which ends at x = 24), halfway down.
    EXPECT_EQ(QColor(shot.pixel(14, combo.height() / 2)), QColor(255, 128, 0));
    combo.SetColorValue(0xFF0000);
    const QImage blue = combo.grab().toImage();
    EXPECT_EQ(QColor(blue.pixel(14, combo.height() / 2)), QColor(0, 0, 255));
}

TEST_F(ColorCombo, FieldFollowsTheWidgetsState) {
    QStyleOptionComboBox opt;
    opt.initFrom(&combo);
    const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                      QStyle::SC_ComboBoxEditField, &combo);
    const QPoint blank(field.right() - 2, field.center().y()); // right of the short name
    const QPalette& pal = combo.palette();

    EXPECT_EQ(QColor(combo.grab().toImage().pixel(blank)),
              pal.color(QPalette::Active, QPalette::Highlight)); // focused
    combo.setEnabled(false);
    EXPECT_EQ(QColor(combo.grab().toImage().pixel(blank)),
              pal.color(QPalette::Disabled, QPalette::Base));
}

TEST(PaintColorEntry, SwatchOutlineAndBackground) {
    QImage image(100, 16, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    PaintColorEntry(painter, QRect(0, 0, 100, 16), QColor(0, 255, 0), "Lime", Qt::white, Qt::black);
    painter.end();
    EXPECT_EQ(QColor(image.pixel(4, 1)), QColor(Qt::black));   // outline corner
    EXPECT_EQ(QColor(image.pixel(23, 14)), QColor(Qt::black)); // opposite corner
    EXPECT_EQ(QColor(image.pixel(10, 8)), QColor(0, 255, 0));  // inside
    EXPECT_EQ(QColor(image.pixel(24, 8)), QColor(Qt::white));  // right of x = 24
    EXPECT_EQ(QColor(image.pixel(10, 0)), QColor(Qt::white));  // above the swatch
    EXPECT_EQ(QColor(image.pixel(10, 15)), QColor(Qt::white)); // below the swatch
}

} // namespace
