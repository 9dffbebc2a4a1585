// The stage view inside the main window, driven with the mouse as a user
// drives it; the project file then holds what the drag made.

#include "common/FakeModals.h"
#include "common/QtTestApplication.h"
#include "test_support.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/stage/MoviePreview.h"
#include "editor/window/TMainForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

class StageWidgetTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        form = std::make_unique<TMainForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        box = form->findChild<QWidget*>("PaintBox1");
        ASSERT_NE(box, nullptr);
    }
    void TearDown() override {
        form.reset();
        testsupport::ResetProject();
    }

    // A new drawing object through "要素を追加..." and its menu; the window
    // selects its start row.
    void addDrawingObject() {
        QTest::mouseClick(form->findChild<QPushButton*>("NewObjBtn"), Qt::LeftButton);
        auto* menu = form->findChild<QMenu*>("NeuObjektMenu");
        ASSERT_TRUE(menu && menu->isVisible());
        QAction* action = menu->findChild<QAction*>("VektorObjekt1");
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }

    template <typename T = QWidget> T* find(const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::vector<int32_t> rect(int32_t element, bool end) {
        const ObjektState& s = end ? ObjektAt(element).End : ObjektAt(element).Start;
        return {s.Left, s.Top, s.Right, s.Bottom};
    }
    // Types a value into a box and enters it.
    void enter(QSpinBox* ed, const QString& value) {
        ed->setFocus();
        QTest::keyClick(ed, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(ed, value);
        QTest::keyClick(ed, Qt::Key_Return);
    }
    movitest::FakeModals modals;
    QString& answer = modals.fileAnswer;
    std::unique_ptr<TMainForm> form;
    QWidget* box = nullptr;
    testsupport::TempDir dir;
};

TEST_F(StageWidgetTest, DraggedHandleIsSavedInTheProjectFile) {
    addDrawingObject();
    ASSERT_EQ(form->SelectedRow(), 0);

    // Over the bottom-right handle of (10, 10)-(50, 50) the pointer shows
    // the diagonal arrows; the drag puts the right and bottom edges at 71.
    QTest::mouseMove(box, QPoint(51, 51));
    EXPECT_EQ(box->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(51, 51));
    QTest::mouseMove(box, QPoint(60, 64));
    QTest::mouseMove(box, QPoint(71, 71));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(71, 71));

    // The frame on the screen follows: from (10, 10) to (71, 71).
    const QImage shown = box->grab().toImage();
    EXPECT_EQ(shown.pixelColor(20, 71), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(71, 40), QColor(Qt::black));
    EXPECT_NE(shown.pixelColor(20, 72), QColor(Qt::black));

    const std::string path = dir.file("dragged.fmo");
    answer = QString::fromStdString(path);
    QTest::mouseClick(form->findChild<QToolButton*>("SaveAsBtn"), Qt::LeftButton);
    form.reset();
    testsupport::ResetProject();
    ASSERT_TRUE(LoadProject(path));
    ASSERT_EQ(ObjektList.Count, 1);
    const Objekt* o = static_cast<Objekt*>(ObjektList.GetItem(0));
    EXPECT_EQ((std::vector<int32_t>{o->Start.Left, o->Start.Top, o->Start.Right, o->Start.Bottom}),
              (std::vector<int32_t>{10, 10, 71, 71}));
    EXPECT_EQ(o->End.Left, 110);
    EXPECT_EQ(o->End.Right, 150);
}

TEST_F(StageWidgetTest, ClickOnTheOtherStateSelectsItsRow) {
    addDrawingObject();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(120, 130));
    EXPECT_EQ(form->SelectedRow(), 1);
    EXPECT_EQ(form->findChild<QTabWidget*>("PageControl2")->currentWidget()->objectName(),
              "TabSheet5");
    // Clicking where nothing lies keeps the selection.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(form->SelectedRow(), 1);
}

// The slider at a time shows exactly the frame the render command draws of
// the compiled project for that time; a click on the stage, or an edit,
// brings the editing view back.
TEST_F(StageWidgetTest, TimeSliderShowsTheRenderedFrameUntilAClickOrAnEdit) {
    Stage.setBackgroundColor(0x00336699);
    addDrawingObject();
    Objekt& drawing = ObjektAt(0);
    drawing.End.Color = 0x0000C000;
    drawing.End.Transparency = 60;
    drawing.End.Rotation = 300;
    Objekt* text = AddObjekt(okText);
    text->End.FontSize = 48;
    text->End.Time = 1500;
    form->RebuildList();
    form->SelectRow(0);

    auto* slider = find<QSlider>("TimeSlider");
    EXPECT_EQ(slider->value(), -1);
    QSignalSpy ready(find<MoviePreview>("MoviePreview"), &MoviePreview::movieReady);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp); // from "編集" to 999 ms
    ASSERT_EQ(slider->value(), 999);
    EXPECT_EQ(find<QLabel>("TimeLabel")->text(), QStringLiteral("999 ミリ秒"));
    ASSERT_TRUE(ready.wait(20000));
    const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);

    // At 12 frames per second, 999 ms shows frame 12 (916 ms), counted from 1.
    const std::string movie = dir.file("m.swf"), png = dir.file("m.png");
    CompileOptions options;
    options.outputPath = movie;
    ASSERT_TRUE(CompileMovie(options).written);
    ASSERT_EQ(QProcess::execute(QStringLiteral(MOVI_BIN_DIR "/moviloomster-render"),
                                {QString::fromStdString(movie), "--frame", "12", "-o",
                                 QString::fromStdString(png)}),
              0);
    const QImage rendered =
        QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), rendered.size());
    EXPECT_TRUE(shown == rendered);
    EXPECT_EQ(shown.pixel(300, 390), qRgb(0x99, 0x66, 0x33)); // the background

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(slider->value(), -1);
    EXPECT_EQ(form->SelectedRow(), 0) << "the click only brings the editing view back";

    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(slider->value(), 1500);
    enter(find<QSpinBox>("RectXEd"), "20");
    EXPECT_EQ(slider->value(), -1);
    EXPECT_EQ(rect(0, false), (std::vector<int32_t>{20, 10, 60, 50}));
}

struct RectEditCase {
    const char* name;
    int row;
    const char* box;
    const char* typed;
    std::vector<int32_t> expected; // left, top, right, bottom of the edited state
};

class RectEditTest : public StageWidgetTest, public testing::WithParamInterface<RectEditCase> {};

// The boxes show the selected state's rectangle and write it as a drag of the
// same edges would: on a 550 x 400 stage, from (10, 10)-(50, 50) at the start
// and (110, 110)-(150, 150) at the end.
TEST_P(RectEditTest, BoxesWriteTheRectangleWithTheDragRules) {
    const RectEditCase& c = GetParam();
    auto* x = find<QSpinBox>("RectXEd");
    EXPECT_FALSE(x->isEnabled()) << "no row selected";
    addDrawingObject();
    form->SelectRow(c.row);
    const std::vector<int32_t> before = rect(0, c.row == 1), other = rect(0, c.row != 1);
    EXPECT_EQ(x->value(), before[0]);
    EXPECT_EQ(find<QSpinBox>("RectHeightEd")->value(), before[3] - before[1]);
    enter(find<QSpinBox>(c.box), QString::fromLatin1(c.typed));
    EXPECT_EQ(rect(0, c.row == 1), c.expected);
    EXPECT_EQ(rect(0, c.row != 1), other) << "the other state stays";
    const std::vector<int32_t> now = rect(0, c.row == 1);
    EXPECT_EQ(x->value(), now[0]);
    EXPECT_EQ(find<QSpinBox>("RectWidthEd")->value(), now[2] - now[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, RectEditTest,
    testing::Values(
        RectEditCase{"MoveKeepsTheSize", 0, "RectXEd", "100", {100, 10, 140, 50}},
        RectEditCase{"EndStateMoves", 1, "RectYEd", "300", {110, 300, 150, 340}},
        RectEditCase{"WidthMovesTheRightEdge", 0, "RectWidthEd", "70", {10, 10, 80, 50}},
        RectEditCase{"NegativeHeightTurnsOver", 0, "RectHeightEd", "-30", {10, -20, 50, 10}},
        RectEditCase{"FarLeftKeepsAPixelOnStage", 0, "RectXEd", "-500", {-39, 10, 1, 50}},
        RectEditCase{"FarDownStopsAtTheLastRow", 0, "RectYEd", "5000", {10, 399, 50, 439}}),
    [](const auto& info) { return std::string(info.param.name); });

// A drag held past the edge of the view scrolls it, and the rectangle follows
// the pointer onto the part of the stage that came into view.
TEST_F(StageWidgetTest, DragPastTheEdgeScrollsTheView) {
    addDrawingObject();
    auto* scroll = find<QScrollArea>("ScrollBox1");
    QWidget* viewport = scroll->viewport();
    ASSERT_LT(viewport->height(), Stage.height()) << "the stage must be taller than the view";
    QTest::mouseMove(box, QPoint(30, 30));
    EXPECT_EQ(find<QLabel>("MousePosLabel")->text(), QStringLiteral("X: 30  Y: 30"));
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(30, 30));
    const QPoint below = box->mapFrom(viewport, QPoint(30, viewport->height() + 40));
    QTest::mouseMove(box, below);
    const int topAtEdge = ObjektAt(0).Start.Top;
    ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->value() >= 40; }, 3000));
    const QPoint held = box->mapFrom(viewport, QPoint(30, viewport->height() + 40));
    QTest::mouseRelease(box, Qt::LeftButton, {}, held);
    EXPECT_GT(ObjektAt(0).Start.Top, topAtEdge);
    EXPECT_EQ(ObjektAt(0).Start.Top, held.y() - 20);
    const int scrolled = scroll->verticalScrollBar()->value();
    QTest::qWait(100);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled) << "stops with the drag";
}

} // namespace
