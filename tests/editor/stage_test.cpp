// The stage view painted off-screen and probed pixel by pixel, and its mouse
// rules over the element list.
#include "app/imaging/PixmillBinding.h"
#include "compiler/ShapeBuilders.h"
#include "editor/model/MainUnit.h"
#include "editor/stage/StageDrag.h"
#include "editor/stage/StageView.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

class StageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        PointList.Clear();
    }
    void TearDown() override { testsupport::ResetProject(); }
};

ObjektState& setRect(ObjektState& s, int32_t l, int32_t t, int32_t r, int32_t b) {
    s.Left = l;
    s.Top = t;
    s.Right = r;
    s.Bottom = b;
    return s;
}

// A drawing object with the given start and end rectangles, in a COLORREF.
Objekt* addShape(int32_t drawKind, std::vector<int32_t> start, std::vector<int32_t> end,
                 int32_t color = 0x000000FF) {
    Objekt* o = AddObjekt(okDrawing);
    o->DrawKind = drawKind;
    setRect(o->Start, start[0], start[1], start[2], start[3]).Color = color;
    setRect(o->End, end[0], end[1], end[2], end[3]).Color = color;
    return o;
}

QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// The smallest rectangle holding every pixel that is not white.
QRect inkBox(const QImage& image, QRect within) {
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
    return box;
}

// ---- Painting ---------------------------------------------------------------

TEST_F(StageTest, NewTextShowsBothStatesJoinedByTheMotionLine) {
    AddObjekt(okText);
    const QImage withLine = RenderStage({});
    ASSERT_EQ(withLine.size(), QSize(550, 400));
    EXPECT_EQ(withLine.format(), StageImageFormat);
    for (int i : {40, 60, 100})
        EXPECT_EQ(at(withLine, i, i), kBlue) << i;
    EXPECT_EQ(at(withLine, 61, 60), kWhite);
    // The text in both states, from their top-left corners.
    EXPECT_TRUE(inkBox(withLine, QRect(10, 10, 40, 24)).isValid());
    EXPECT_TRUE(inkBox(withLine, QRect(110, 110, 40, 24)).isValid());
    EXPECT_FALSE(inkBox(withLine, QRect(0, 0, 10, 10)).isValid());

    StageViewOptions noArrows;
    noArrows.noArrows = true;
    const QImage without = RenderStage(noArrows);
    for (int i : {40, 60, 100})
        EXPECT_EQ(at(without, i, i), kWhite) << i;
    EXPECT_TRUE(inkBox(without, QRect(110, 110, 40, 24)).isValid());
}

TEST_F(StageTest, OnlyTheActualElementWithNoSelectionLeavesTheStageBlank) {
    AddObjekt(okText);
    addShape(dkRectangle, {200, 200, 260, 260}, {300, 300, 360, 360});
    StageViewOptions options;
    options.onlyActual = true;
    EXPECT_FALSE(inkBox(RenderStage(options), QRect(0, 0, 550, 400)).isValid());

    options.selectedRow = 3; // the rectangle's end state
    const QImage one = RenderStage(options);
    EXPECT_EQ(at(one, 230, 230), QColor(255, 0, 0));
    EXPECT_FALSE(inkBox(one, QRect(0, 0, 150, 150)).isValid()); // no text
}

TEST_F(StageTest, WhiteStageWhateverTheBackground) {
    Stage.setBackgroundColor(0x00000000);
    EXPECT_FALSE(inkBox(RenderStage({}), QRect(0, 0, 550, 400)).isValid());
}

TEST_F(StageTest, SelectionFrameAndHandlesCoverTheStatesPixels) {
    addShape(dkRectangle, {10, 10, 50, 50}, {200, 200, 240, 240}, 0x00FFFFFF);
    StageViewOptions options;
    options.selectedRow = 0;
    options.noArrows = true;
    const QImage image = RenderStage(options);
    // Frame from (10, 10) to (50, 50) inclusive.
    for (auto [x, y] : {std::pair{20, 10}, {40, 50}, {10, 40}, {50, 20}})
        EXPECT_EQ(at(image, x, y), kBlack) << x << "," << y;
    for (auto [x, y] : {std::pair{40, 51}, {51, 20}, {40, 49}, {20, 11}})
        EXPECT_EQ(at(image, x, y), kWhite) << x << "," << y;
    // Each handle covers the 6 x 6 pixels from 3 up and left of its point:
    // (51, 51) at the bottom-right, (10 + 41 / 2, 51) in the middle of the bottom.
    for (auto [x, y] : {std::pair{48, 48}, {53, 53}, {27, 53}, {32, 48}})
        EXPECT_EQ(at(image, x, y), kBlack) << x << "," << y;
    for (auto [x, y] : {std::pair{47, 47}, {54, 53}, {53, 54}, {26, 53}, {33, 53}})
        EXPECT_EQ(at(image, x, y), kWhite) << x << "," << y;

    // The frame is drawn right after its element: later ones paint over it.
    addShape(dkRectangle, {40, 0, 100, 100}, {40, 0, 100, 100}, 0x0000FF00);
    EXPECT_EQ(at(RenderStage(options), 45, 10), QColor(0, 255, 0));
}

TEST_F(StageTest, RectangleFillsItsPixelsWithoutOutline) {
    addShape(dkRectangle, {10, 20, 50, 60}, {10, 20, 50, 60}, 0x00336699);
    StageViewOptions options;
    options.noArrows = true;
    const QImage image = RenderStage(options);
    EXPECT_EQ(inkBox(image, QRect(0, 0, 100, 100)), QRect(QPoint(10, 20), QPoint(49, 59)));
    EXPECT_EQ(at(image, 10, 20), QColor(0x99, 0x66, 0x33));
}

TEST_F(StageTest, EllipseFollowsTheOctagonPoints) {
    // 100 x 60: anchors at x 150 - 47 and 150 + 49, y 130 - 27 and 130 + 29.
    addShape(dkEllipse, {100, 100, 200, 160}, {100, 100, 200, 160});
    StageViewOptions options;
    options.noArrows = true;
    const QImage image = RenderStage(options);
    const QColor red(255, 0, 0);
    for (auto [x, y] : {std::pair{150, 130}, {104, 131}, {198, 131}, {151, 104}, {151, 158}})
        EXPECT_EQ(at(image, x, y), red) << x << "," << y;
    for (auto [x, y] : {std::pair{102, 131}, {200, 131}, {151, 102}, {151, 160}, {104, 104}})
        EXPECT_EQ(at(image, x, y), kWhite) << x << "," << y;
}

// A quarter turn of 45.5 degrees is drawn as 45 whole degrees.
TEST_F(StageTest, RotationUsesWholeDegrees) {
    Objekt* o = addShape(dkRectangle, {100, 100, 200, 140}, {100, 100, 200, 140});
    StageViewOptions options;
    options.noArrows = true;
    auto paintAt = [&](int32_t rotation) {
        o = static_cast<Objekt*>(ObjektList.GetItem(0));
        o->Start.Rotation = o->End.Rotation = rotation;
        return RenderStage(options);
    };
    const QImage at455 = paintAt(455), at450 = paintAt(450), at460 = paintAt(460);
    EXPECT_EQ(at455, at450);
    EXPECT_NE(at455, at460);
    // Turned counter-clockwise: the right end rises.
    EXPECT_EQ(at(at450, 185, 110), QColor(255, 0, 0));
    EXPECT_EQ(at(at450, 185, 150), kWhite);
}

// ---- Pictures ---------------------------------------------------------------

// 200 x 100 in four quadrants: red, green on top; blue, yellow below.
Objekt* addQuadrantPicture(int32_t rotation) {
    DibRecord pic{};
    Pixmill.newdib(&pic, 200, 100, 24, nullptr, 0);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const bool top = y >= 50, left = x < 100; // rows are bottom-up
            const QColor c = top ? (left ? Qt::red : Qt::green) : (left ? Qt::blue : Qt::yellow);
            uint8_t* p = pic.Bits + y * pic.BytesPerRow + x * 3;
            p[0] = uint8_t(c.blue()), p[1] = uint8_t(c.green()), p[2] = uint8_t(c.red());
        }
    }
    Objekt* o = AddObjekt(okPicture, &pic);
    setRect(o->Start, 100, 100, 140, 140).Rotation = rotation;
    setRect(o->End, 300, 300, 340, 340).Rotation = rotation;
    return o;
}

struct PictureCase {
    const char* name;
    int32_t rotation;
    QRect drawn;
    std::vector<std::pair<QPoint, QColor>> probes;
};

class StagePictureTest : public StageTest, public ::testing::WithParamInterface<PictureCase> {};

// 200 x 100 into a 40 x 40 box: 40 x 20 at the box's top-left corner, turned
// counter-clockwise about the centre (120, 110) of that 40 x 20 box.
TEST_P(StagePictureTest, FitsAtTheTopLeftAndTurnsAboutItsCentre) {
    addQuadrantPicture(GetParam().rotation);
    StageViewOptions options;
    options.noArrows = true;
    const QImage image = RenderStage(options);
    EXPECT_EQ(inkBox(image, QRect(80, 80, 80, 80)), GetParam().drawn);
    for (const auto& [point, color] : GetParam().probes)
        EXPECT_EQ(image.pixelColor(point), color) << point.x() << "," << point.y();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Turns, StagePictureTest,
    ::testing::Values(
        PictureCase{"Upright", 0, QRect(QPoint(100, 100), QPoint(139, 119)),
                    {{{105, 105}, Qt::red}, {{135, 105}, Qt::green}, {{105, 115}, Qt::blue}, {{135, 115}, Qt::yellow}}},
        PictureCase{"QuarterTurn", 900, QRect(QPoint(110, 91), QPoint(129, 130)),
                    {{{115, 100}, Qt::green}, {{125, 100}, Qt::yellow}, {{115, 120}, Qt::red}, {{125, 120}, Qt::blue}}},
        PictureCase{"HalfTurn", 1800, QRect(QPoint(101, 101), QPoint(140, 120)),
                    {{{105, 105}, Qt::yellow}, {{135, 105}, Qt::blue}, {{105, 115}, Qt::green}, {{135, 115}, Qt::red}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The scanline writer on the stage image and the patch drawn on any other
// painter give the same pixels.
TEST_F(StageTest, PictureOnAnyTargetMatchesTheStageImage) {
    addQuadrantPicture(300);
    StageViewOptions options;
    options.noArrows = true;
    const QImage direct = RenderStage(options);
    QImage other(550, 400, QImage::Format_RGB888);
    {
        QPainter painter(&other);
        PaintStage(painter, options);
    }
    EXPECT_EQ(other.convertToFormat(StageImageFormat), direct);
    EXPECT_TRUE(inkBox(direct, QRect(290, 290, 70, 70)).isValid());
}

// Values only a project file can hold: far off the stage, turned over, at the
// ends of the 32-bit range. They draw what falls on the stage, or nothing.
TEST_F(StageTest, ExtremeStatesDrawWithoutFault) {
    Objekt* o = addQuadrantPicture(450);
    setRect(o->Start, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    setRect(o->End, -5000000, -5000000, 5000000, 5000000);
    StageViewOptions options;
    options.noArrows = true;
    const QImage huge = RenderStage(options);
    // A 10 000 000 pixel box is drawn, clipped to the stage.
    EXPECT_NE(at(huge, 275, 200), kWhite);
    o = static_cast<Objekt*>(ObjektList.GetItem(0));
    setRect(o->End, 100, 100, 100, 140);
    setRect(o->Start, 100, 100, 140, 100);
    EXPECT_FALSE(inkBox(RenderStage(options), QRect(0, 0, 550, 400)).isValid());

    for (int32_t kind : {okText, okDrawing}) {
        for (int32_t v : {INT32_MIN, INT32_MAX}) {
            const int32_t w = v == INT32_MIN ? INT32_MAX : INT32_MIN;
            Objekt* e = AddObjekt(kind);
            e->DrawKind = dkEllipse;
            setRect(e->Start, v, v, w, w).Rotation = v;
            setRect(e->End, w, v, v, w).FontSize = v;
            e->End.Rotation = v;
        }
    }
    options.noArrows = false;
    options.selectedRow = 5;
    const QImage extreme = RenderStage(options);
    EXPECT_EQ(extreme.size(), QSize(550, 400));
}

// ---- Texts and colours ------------------------------------------------------

// The ink of "H" in Liberation Sans (the face for "Arial"), whose cell is
// 2288 units (Windows ascent 1854 plus descent 434) for 2048 units per em.
TEST_F(StageTest, TextCellHeightSetsTheBaselineAndTheTurningCentre) {
    Objekt* o = AddObjekt(okText);
    ReplaceString(o->FontName, "Arial");
    ReplaceString(o->Text, "HH");
    setRect(o->Start, 200, 150, 0, 0).FontSize = 100;
    setRect(o->End, 200, 150, 0, 0).FontSize = 100;
    o->Start.Color = o->End.Color = 0;
    StageViewOptions options;
    options.noArrows = true;
    auto inkAt = [&](int32_t rotation) {
        o = static_cast<Objekt*>(ObjektList.GetItem(0));
        o->Start.Rotation = o->End.Rotation = rotation;
        return inkBox(RenderStage(options), QRect(0, 0, 550, 400));
    };
    const QRect upright = inkAt(0);
    // Baseline at 100 * 1854 / 2288 = 81 below the top; an em of 100 would put it at 90.
    EXPECT_NEAR(upright.bottom(), 150 + 81, 1);
    EXPECT_GT(upright.left(), 200);

    // Half a turn maps the box onto itself around its centre: the centre of
    // the cell 100 high, so halfway between the two ink boxes lies y = 200.
    const QRect half = inkAt(1800);
    const QPointF centre = (QPointF(upright.center()) + QPointF(half.center())) / 2;
    EXPECT_NEAR(centre.y(), 150 + 50, 1.5);
    EXPECT_NEAR(half.width(), upright.width(), 2);

    // A quarter turn is counter-clockwise about that centre.
    const QRect quarter = inkAt(900);
    EXPECT_NEAR(quarter.left(), centre.x() + (upright.top() - centre.y()), 2);
    EXPECT_NEAR(quarter.right(), centre.x() + (upright.bottom() - centre.y()), 2);
    EXPECT_NEAR(quarter.top(), centre.y() - (upright.right() - centre.x()), 2);
    EXPECT_NEAR(quarter.bottom(), centre.y() - (upright.left() - centre.x()), 2);
}

TEST_F(StageTest, FaceNamesBeyondThirtyOneBytesAreCut) {
    Objekt* o = AddObjekt(okText);
    ReplaceString(o->Text, "Stage");
    o->Start.FontSize = o->End.FontSize = 40;
    const std::string cut = "Liberation Mono" + std::string(16, ' ');
    ASSERT_EQ(cut.size(), 31u);
    StageViewOptions options;
    options.noArrows = true;
    ReplaceString(o->FontName, cut);
    const QImage reference = RenderStage(options);
    o = static_cast<Objekt*>(ObjektList.GetItem(0));
    ReplaceString(o->FontName, cut + std::string(400, 'x'));
    EXPECT_EQ(RenderStage(options), reference);
    ReplaceString(o->FontName, "Liberation Serif");
    EXPECT_NE(RenderStage(options), reference);
}

// Shapes and texts both draw a system colour as the palette's colour of its
// role (0x80000008: window text); a COLORREF keeps red in its low byte.
TEST_F(StageTest, SystemColourDrawsAsThePalettesWindowText) {
    const QPalette saved = QGuiApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::WindowText, QColor(200, 0, 100));
    QGuiApplication::setPalette(palette);
    addShape(dkRectangle, {10, 10, 50, 50}, {10, 10, 50, 50}, 0x80000008);
    addShape(dkRectangle, {60, 10, 100, 50}, {60, 10, 100, 50}, 0x00FF0000);
    Objekt* text = AddObjekt(okText);      // in the default colour, window text
    ReplaceString(text->Text, "\x81\xA1"); // a black square, full width
    setRect(text->Start, 100, 100, 0, 0).FontSize = 60;
    setRect(text->End, 100, 100, 0, 0).FontSize = 60;
    StageViewOptions options;
    options.noArrows = true;
    const QImage image = RenderStage(options);
    QGuiApplication::setPalette(saved);
    EXPECT_EQ(at(image, 30, 30), QColor(200, 0, 100));
    EXPECT_EQ(at(image, 80, 30), QColor(0, 0, 255));
    EXPECT_EQ(at(image, 130, 130), QColor(200, 0, 100));
}

// ---- Hit test ---------------------------------------------------------------

struct HitCase {
    const char* name;
    std::vector<int32_t> rect; // L, T, R, B of the selected start state
    int32_t x, y;
    int32_t kind, grabDX, grabDY;
    Qt::CursorShape cursor;
};

class StageHitTest : public StageTest, public ::testing::WithParamInterface<HitCase> {};

TEST_P(StageHitTest, FindsTheHandleOrTheInside) {
    const HitCase& c = GetParam();
    addShape(dkRectangle, c.rect, {200, 200, 240, 240});
    addShape(dkRectangle, {0, 0, 300, 300}, {0, 0, 300, 300});
    StageDrag drag;
    drag.DragEndState = 1;
    StageViewOptions options;
    options.selectedRow = 0;
    const StageMouseResult moved = StageMouseMove(drag, options, c.x, c.y, 550, 400);
    EXPECT_EQ(drag.HitKind, c.kind);
    EXPECT_EQ(drag.GrabDX, c.grabDX);
    EXPECT_EQ(drag.GrabDY, c.grabDY);
    EXPECT_EQ(drag.DragElement, 0);
    EXPECT_EQ(drag.DragEndState, 0);
    EXPECT_TRUE(moved.setCursor);
    EXPECT_EQ(moved.cursor, c.cursor);
    EXPECT_FALSE(moved.repaint);
}

INSTANTIATE_TEST_SUITE_P(
    Handles, StageHitTest,
    ::testing::Values(
        HitCase{"TopLeft", {10, 10, 50, 50}, 8, 12, 1, -2, 2, Qt::SizeFDiagCursor},
        HitCase{"TopRight", {10, 10, 50, 50}, 54, 7, 2, 3, -3, Qt::SizeBDiagCursor},
        HitCase{"BottomLeft", {10, 10, 50, 50}, 10, 51, 3, 0, 0, Qt::SizeBDiagCursor},
        HitCase{"BottomRight", {10, 10, 50, 50}, 51, 51, 4, 0, 0, Qt::SizeFDiagCursor},
        HitCase{"Top", {10, 10, 50, 50}, 32, 9, 5, 0, -1, Qt::SizeVerCursor},
        HitCase{"Bottom", {10, 10, 50, 50}, 30, 52, 6, 0, 1, Qt::SizeVerCursor},
        HitCase{"Left", {10, 10, 50, 50}, 9, 32, 7, -1, 0, Qt::SizeHorCursor},
        HitCase{"Right", {10, 10, 50, 50}, 51, 28, 8, 0, 0, Qt::SizeHorCursor},
        HitCase{"Inside", {10, 10, 50, 50}, 20, 40, 9, 10, 30, Qt::PointingHandCursor},
        HitCase{
            "InsideOnTheOuterEdge", {10, 10, 50, 50}, 51, 40, 9, 41, 30, Qt::PointingHandCursor},
        HitCase{"Outside", {10, 10, 50, 50}, 60, 40, 0, 0, 0, Qt::ArrowCursor},
        // On a 4 x 4 rectangle the squares overlap: the lower number wins.
        HitCase{"OverlappingHandles", {10, 10, 13, 13}, 12, 10, 1, 2, 0, Qt::SizeFDiagCursor},
        // Turned over: only its handle squares are hit.
        HitCase{"TurnedOverInside", {50, 50, 10, 10}, 30, 30, 0, 0, 0, Qt::ArrowCursor},
        HitCase{"TurnedOverHandle", {50, 50, 10, 10}, 50, 50, 1, 0, 0, Qt::SizeFDiagCursor},
        HitCase{"OneColumnTurnedOver", {10, 10, 9, 50}, 10, 40, 0, 0, 0, Qt::ArrowCursor}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Dragging ---------------------------------------------------------------

struct DragCase {
    const char* name;
    int32_t row;
    std::vector<int32_t> rect;
    std::vector<std::pair<int32_t, int32_t>> points; // press, moves..., release
    std::vector<int32_t> expected;
    int32_t kind; // the held kind at the end
};

class StageDragTest : public StageTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(StageDragTest, WritesTheDraggedRectangle) {
    const DragCase& c = GetParam();
    Objekt* o = AddObjekt(okDrawing);
    setRect(c.row % 2 ? o->End : o->Start, c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
    const ObjektState other = c.row % 2 ? o->Start : o->End;
    StageDrag drag;
    StageViewOptions options;
    options.selectedRow = c.row;
    const StageMouseResult down =
        StageMouseDown(drag, options, c.points.front().first, c.points.front().second);
    EXPECT_EQ(drag.Dragging, 1);
    EXPECT_TRUE(down.repaint);
    EXPECT_EQ(down.selectRow, -1);
    for (size_t i = 1; i + 1 < c.points.size(); ++i)
        EXPECT_TRUE(
            StageMouseMove(drag, options, c.points[i].first, c.points[i].second, 550, 400).repaint);
    EXPECT_TRUE(
        StageMouseUp(drag, c.points.back().first, c.points.back().second, 550, 400).repaint);
    EXPECT_EQ(drag.Dragging, 0);
    EXPECT_EQ(drag.HitKind, c.kind);

    o = static_cast<Objekt*>(ObjektList.GetItem(0));
    const ObjektState& s = c.row % 2 ? o->End : o->Start;
    EXPECT_EQ((std::vector<int32_t>{s.Left, s.Top, s.Right, s.Bottom}), c.expected);
    const ObjektState& untouched = c.row % 2 ? o->Start : o->End;
    EXPECT_EQ(std::memcmp(&untouched, &other, sizeof other), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Drags, StageDragTest,
    ::testing::Values(
        // The handle sits one pixel beyond the right and bottom edges.
        DragCase{"BottomRightHandle", 0, {10, 10, 50, 50}, {{51, 51}, {71, 71}}, {10, 10, 71, 71}, 4},
        DragCase{"EndStateRightHandle", 1, {10, 10, 50, 50}, {{51, 30}, {60, 90}, {100, 90}}, {10, 10, 100, 50}, 8},
        DragCase{"TopHandleWritesOnlyTop", 0, {10, 10, 50, 50}, {{30, 10}, {45, 0}}, {10, 0, 50, 50}, 5},
        // Past the opposite edge a handle becomes its mirror; the edge it
        // passed stays where it was.
        DragCase{"LeftHandlePastTheRightEdgeOneStep", 0, {10, 10, 50, 50}, {{10, 30}, {80, 30}}, {50, 10, 80, 50}, 8},
        DragCase{"RightHandlePastTheLeftEdgeOneStep", 0, {10, 10, 50, 50}, {{51, 30}, {0, 30}}, {0, 10, 10, 50}, 7},
        DragCase{"LeftHandlePastTheRightEdge", 0, {10, 10, 50, 50}, {{10, 30}, {80, 30}, {80, 30}}, {50, 10, 80, 50}, 8},
        DragCase{"TopLeftPastTheBottomRight", 0, {10, 10, 50, 50}, {{10, 10}, {70, 80}, {70, 80}}, {50, 50, 70, 80}, 4},
        DragCase{"BottomHandlePastTheTop", 0, {10, 10, 50, 50}, {{30, 51}, {30, 0}, {30, 0}}, {10, 0, 50, 10}, 5},
        DragCase{"MoveKeepsTheSize", 0, {10, 10, 50, 50}, {{30, 30}, {90, 60}, {130, 230}}, {110, 210, 150, 250}, 9},
        // Reachability: some part at or beyond (1, 1), the corner inside the box.
        DragCase{"MoveOffTheTopLeftKeepsOnePixel", 0, {10, 10, 50, 50}, {{30, 30}, {-200, -300}}, {-39, -39, 1, 1}, 9},
        DragCase{"MovePastTheBottomRight", 0, {10, 10, 50, 50}, {{30, 30}, {1000, 1000}}, {549, 399, 589, 439}, 9},
        DragCase{"CornerOffTheTopLeft", 0, {10, 10, 50, 50}, {{10, 10}, {-100, -100}}, {-100, -100, 50, 50}, 1},
        // The corner it leaves is (Right, Bottom), visually the top-left one.
        DragCase{"HandleOfATurnedOverRectangle", 0, {50, 50, 10, 10}, {{50, 50}, {60, 60}}, {10, 10, 60, 60}, 4}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---- Clicks -------------------------------------------------------------------

struct ClickCase {
    const char* name;
    int32_t selectedRow;
    bool onlyActual;
    int32_t x, y;
    int32_t expectedRow; // -1: the selection stays
};

class StageClickTest : public StageTest, public ::testing::WithParamInterface<ClickCase> {};

// Element 0: start (10, 10)-(50, 50), end (30, 30)-(70, 70).
// Element 1: start (40, 40)-(100, 100), end (200, 200)-(240, 240).
// Element 2: start turned over (400, 300)-(300, 200), end (380, 10)-(420, 50).
TEST_P(StageClickTest, SelectsByTheClickRules) {
    const ClickCase& c = GetParam();
    addShape(dkRectangle, {10, 10, 50, 50}, {30, 30, 70, 70});
    addShape(dkRectangle, {40, 40, 100, 100}, {200, 200, 240, 240});
    addShape(dkRectangle, {400, 300, 300, 200}, {380, 10, 420, 50});
    StageDrag drag;
    StageViewOptions options;
    options.selectedRow = c.selectedRow;
    options.onlyActual = c.onlyActual;
    const StageMouseResult r = StageMouseDown(drag, options, c.x, c.y);
    EXPECT_EQ(r.selectRow, c.expectedRow);
    EXPECT_EQ(r.repaint, c.expectedRow >= 0);
    EXPECT_EQ(drag.Dragging, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StageClickTest,
    ::testing::Values(ClickCase{"OtherStateOfTheSelectedElementFirst", 3, false, 45, 45, 2},
                      ClickCase{"EndRowSelectedClickOnStart", 1, false, 15, 15, 0},
                      ClickCase{"EarlierElementWins", -1, false, 60, 60, 1},
                      ClickCase{"StartBeforeEnd", -1, false, 40, 40, 0},
                      ClickCase{"EdgesIncluded", -1, false, 240, 240, 3},
                      ClickCase{"TurnedOverNeverHit", -1, false, 350, 250, -1},
                      ClickCase{"TurnedOverOtherStateNeverHit", 5, false, 350, 250, -1},
                      ClickCase{"NothingThere", -1, false, 500, 350, -1},
                      ClickCase{"OnlyActualWithoutSelection", -1, true, 20, 20, -1},
                      ClickCase{"OnlyActualStillSwitchesState", 0, true, 65, 65, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Outline shared with the compiler --------------------------------------

struct EllipseCase {
    const char* name;
    std::vector<int32_t> rect; // l, t, r, b
    int32_t rotation;          // tenths of a degree
};

class StageEllipseTest : public StageTest, public ::testing::WithParamInterface<EllipseCase> {};

// The stage fills the ellipse the movie shows: the compiler's points (twips,
// as steps) and the stage's (pixels) agree point for point, within what
// building the steps in whole pixels instead of twips can drift.
TEST_P(StageEllipseTest, MatchesTheCompilersOutline) {
    const EllipseCase& c = GetParam();
    ObjektState s{};
    setRect(s, c.rect[0], c.rect[1], c.rect[2], c.rect[3]).Rotation = c.rotation;
    BuildStateOutline(s, dkEllipse, false);
    std::vector<std::pair<int64_t, int64_t>> movie; // absolute twips
    int64_t x = 0, y = 0;
    for (int32_t i = 0; i < PointList.Count; ++i) {
        const auto* p = static_cast<const TPoint32*>(PointList.GetItem(i));
        x += p->x;
        y += p->y;
        movie.emplace_back(x, y);
    }
    PointList.Clear();
    BuildEllipseObjectOutline(s.Left, s.Top, s.Right, s.Bottom, s.Rotation);
    ASSERT_EQ(PointList.Count, static_cast<int32_t>(movie.size()));
    ASSERT_EQ(PointList.Count, 17);
    constexpr int64_t kDrift = 8 * 20;
    for (int32_t i = 0; i < PointList.Count; ++i) {
        const auto* p = static_cast<const TPoint32*>(PointList.GetItem(i));
        EXPECT_NEAR(int64_t(p->x) * 20, movie[size_t(i)].first, kDrift) << "point " << i;
        EXPECT_NEAR(int64_t(p->y) * 20, movie[size_t(i)].second, kDrift) << "point " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ellipses, StageEllipseTest,
    ::testing::Values(EllipseCase{"Upright", {20, 30, 220, 130}, 0},
                      EllipseCase{"Turned30", {20, 30, 220, 130}, 300},
                      EllipseCase{"TurnedBackOddTenths", {-50, 10, 401, 77}, -1237},
                      EllipseCase{"TurnedOver", {300, 200, 40, 20}, 450},
                      EllipseCase{"Huge", {-3000000, 5, 3000000, 900000}, 900}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
