#include "common/QtTestApplication.h"

#include "app/imaging/MessageBoxBindingReporter.h"
#include "app/widgets/ProgramIcon.h"
#include "app/widgets/TAboutBox.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

struct ControlRow {
    const char* name;
    QRect geometry; // in the parent's coordinates
    const char* text;
};

class AboutBoxControls : public testing::TestWithParam<ControlRow> {};

TEST_P(AboutBoxControls, SitAtTheirPlaceWithTheirText) {
    TAboutBox box;
    auto* control = box.findChild<QWidget*>(GetParam().name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), GetParam().geometry);
    if (auto* l = qobject_cast<QLabel*>(control); l && *GetParam().text) {
        EXPECT_EQ(l->text(), QString::fromUtf8(GetParam().text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AboutBoxControls,
    testing::Values(ControlRow{"Panel1", QRect(8, 8, 353, 161), ""},
                    ControlRow{"ProgramIcon", QRect(8, 16, 33, 33), ""},
                    ControlRow{"ProductName", QRect(56, 16, 231, 19), "Tarvelo Movi-Loomster"},
                    ControlRow{"Version", QRect(88, 40, 88, 15), "Version 1.0"},
                    ControlRow{"Copyright", QRect(8, 64, 329, 33), ""},
                    ControlRow{"Comments", QRect(8, 96, 289, 33), ""},
                    ControlRow{"Label1", QRect(8, 136, 264, 15),
                               "Release (mm/dd/yyyy) : 01/18/2005"},
                    ControlRow{"BitBtn1", QRect(143, 180, 83, 25), ""}),
    [](const testing::TestParamInfo<ControlRow>& info) { return info.param.name; });

TEST(AboutBox, FrameFontsAndColours) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_EQ(box.size(), QSize(369, 212));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(QFontInfo(box.font()).family(), "IPAMincho");
    EXPECT_EQ(box.font().pixelSize(), 15);
    const auto* product = box.findChild<QLabel*>("ProductName");
    EXPECT_TRUE(product->font().bold());
    EXPECT_EQ(product->font().pixelSize(), 19);
    EXPECT_TRUE(box.findChild<QLabel*>("Copyright")->wordWrap());
    EXPECT_FALSE(box.findChild<QLabel*>("ProgramIcon")->pixmap().isNull());
    EXPECT_EQ(box.findChild<QPushButton*>("BitBtn1")->text(), "OK");

    // The panel's colour (red 240, green 202, blue 166), seen where no label covers it.
    const QImage shot = box.findChild<QWidget*>("Panel1")->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(300, 150)), QColor(240, 202, 166));
}

TEST(AboutBox, OkButtonAndEscapeClose) {
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Rejected);
}

TEST(ProgramIcon, HasEverySize) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes().size(), 6);
    EXPECT_EQ(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
}

struct Box {
    QString caption;
    QString text;
};

TEST(MessageBoxBindingReporter, OneBoxPerFailingStepThenTheLoopEnds) {
    std::vector<Box> boxes;
    MessageBoxBindingReporter reporter([&](const QString& c, const QString& t) {
        boxes.push_back({c, t});
    });
    // A folder without the library: the load and the four look-ups fail.
    EXPECT_FALSE(BindPixmill("/nonexistent-folder/", reporter));
    ASSERT_EQ(boxes.size(), 5u);
    for (const Box& b : boxes) {
        EXPECT_EQ(b.caption, "Error");
        EXPECT_EQ(b.text, "Could not load file Pixmill.DLL");
    }
    EXPECT_TRUE(reporter.terminateRequested());
    // The quit is queued: the event loop that starts next ends at once.
    QTimer guard;
    guard.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(2000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
}

TEST(MessageBoxBindingReporter, BoundLibraryShowsNothing) {
    int shown = 0;
    MessageBoxBindingReporter reporter([&](const QString&, const QString&) { ++shown; });
    EXPECT_TRUE(BindPixmill(MOVI_BIN_DIR "/", reporter));
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(reporter.terminateRequested());
    reporter.showMessage("x");
    EXPECT_EQ(shown, 1);
}

} // namespace
