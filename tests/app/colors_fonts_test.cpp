#include "common/QtTestApplication.h"

#include "app/gui/SystemColors.h"
#include "app/gui/UiFonts.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QPalette>

namespace {

int32_t paletteRef(QPalette::ColorRole role) {
    return QColorToColorRef(QGuiApplication::palette().color(QPalette::Active, role));
}

TEST(SystemColors, AColorRefStaysAsItIs) {
    EXPECT_EQ(ResolveSystemColor(0x000080), 0x000080);
    EXPECT_EQ(ResolveSystemColor(0x00FFFFFF), 0x00FFFFFF);
    EXPECT_EQ(ColorRefToQColor(0x0080FF), QColor(255, 128, 0));
}

TEST(SystemColors, SystemColoursFollowThePalette) {
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x80000008u)),
              paletteRef(QPalette::WindowText));
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x80000005u)), paletteRef(QPalette::Base));
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x8000000Fu)), paletteRef(QPalette::Button));
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x8000000Du)),
              paletteRef(QPalette::Highlight));
}

TEST(SystemColors, ClassicTableAndUnknownIndices) {
    // Active caption has no palette role: its classic colour.
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x80000002u)), 0x6A240A);
    // The unused index 25 and indices past the table are window text.
    const int32_t windowText = paletteRef(QPalette::WindowText);
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x80000019u)), windowText);
    EXPECT_EQ(ResolveSystemColor(static_cast<int32_t>(0x800000FFu)), windowText);
}

struct FaceRow {
    const char* name;
    const char* face;
    const char* family;
};

class FaceSubstitution : public testing::TestWithParam<FaceRow> {};

TEST_P(FaceSubstitution, MapsThroughTheCompilersTable) {
    EXPECT_EQ(SubstituteFaceFamily(QString::fromUtf8(GetParam().face)),
              QString::fromUtf8(GetParam().family));
}

INSTANTIATE_TEST_SUITE_P(Faces, FaceSubstitution,
                         testing::Values(FaceRow{"Gothic", "ＭＳ ゴシック", "IPAGothic"},
                                         FaceRow{"Mincho", "ＭＳ 明朝", "IPAMincho"},
                                         FaceRow{"PGothic", "ＭＳ Ｐゴシック", "IPAPGothic"},
                                         FaceRow{"LatinCaseFolded", "MS Mincho", "IPAMincho"},
                                         FaceRow{"Arial", "Arial", "Liberation Sans"},
                                         FaceRow{"UnknownKept", "DejaVu Sans", "DejaVu Sans"},
                                         FaceRow{"EmptyKept", "", ""}),
                         [](const testing::TestParamInfo<FaceRow>& info) {
                             return info.param.name;
                         });

TEST(UiFont, JapaneseWindowFaceResolvesToAnInstalledJapaneseFace) {
    const QFont font = UiFont(QStringLiteral("ＭＳ 明朝"), 15);
    EXPECT_EQ(font.pixelSize(), 15);
    EXPECT_EQ(font.family(), QStringLiteral("IPAMincho"));
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("IPAMincho"));
    // A face that lacks Japanese still falls back to one that has it.
    EXPECT_TRUE(UiFont(QStringLiteral("DejaVu Sans"), 12).families().contains("IPAGothic"));
}

// Families that several foundries supply come once, by their plain name; a
// bracket that is part of a name stays.
TEST(UiFont, FontListNamesEachFamilyOnce) {
    EXPECT_EQ(FamiliesWithoutFoundries({"Noto Sans [GOOG]", "IPAGothic", "Noto Sans [ADBO]",
                                        "Mono [x] Sans", "IPAGothic"}),
              (QStringList{"Noto Sans", "IPAGothic", "Mono [x] Sans"}));
}

} // namespace
