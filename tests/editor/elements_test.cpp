#include "editor/model/MainUnit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ElementsTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::ResetProject(); }
    void TearDown() override { testsupport::ResetProject(); }
};

TEST_F(ElementsTest, NewElementsStepTenPixelsAndWrapAtHalfTheStage) {
    Objekt* first = AddObjekt(okText);
    EXPECT_EQ(first->Start.Left, 10);
    EXPECT_EQ(first->Start.Top, 10);
    EXPECT_EQ(first->Start.Right, 50);
    EXPECT_EQ(first->Start.Bottom, 50);
    EXPECT_EQ(first->End.Left, 110);
    EXPECT_EQ(first->End.Top, 110);
    EXPECT_EQ(first->End.Right, 150);
    EXPECT_EQ(first->End.Bottom, 150);
    for (int i = 2; i <= 28; ++i)
        AddObjekt(okDrawing);
    EXPECT_EQ(CurObjekt->Start.Left, 5); // 280 mod 275
    EXPECT_EQ(CurObjekt->Start.Top, 80); // 280 mod 200
    EXPECT_EQ(CurObjekt->End.Left, 105);
}

TEST_F(ElementsTest, DefaultsOfEveryKind) {
    for (int32_t kind : {okText, okDrawing, okPicture}) {
        Objekt* o = AddObjekt(kind);
        EXPECT_EQ(o->Kind, kind);
        EXPECT_EQ(o->DrawKind, 0);
        EXPECT_EQ(o->DeleteAtEnd, 1);
        EXPECT_STREQ(o->Text, "\x83\x65\x83\x4C\x83\x58\x83\x67");
        EXPECT_EQ(std::strlen(o->FontName), 13u);
        for (const ObjektState* s : {&o->Start, &o->End}) {
            EXPECT_EQ(s->FontSize, 24);
            EXPECT_EQ(s->Rotation, 0);
            EXPECT_EQ(s->Transparency, 0);
            EXPECT_EQ(static_cast<uint32_t>(s->Color), 0x80000008u);
        }
        EXPECT_EQ(o->Start.Time, 0);
        EXPECT_EQ(o->End.Time, 1000);
        EXPECT_EQ(o->Picture.Bits, nullptr);
        EXPECT_EQ(o->Work.CharID, 0);
    }
}

TEST_F(ElementsTest, OnePixelStageDoesNotWrap) {
    Stage.setWidth(1);
    Stage.setHeight(1);
    AddObjekt(okText);
    Objekt* second = AddObjekt(okText);
    EXPECT_EQ(second->Start.Left, 20);
    EXPECT_EQ(second->Start.Top, 20);
    Stage.setWidth(3); // half is 1: everything lands on 0
    Objekt* third = AddObjekt(okText);
    EXPECT_EQ(third->Start.Left, 0);
    EXPECT_EQ(third->Start.Top, 30);
}

TEST_F(ElementsTest, DeleteMoveAndClearReleaseAndReorder) {
    for (int i = 0; i < 3; ++i)
        AddObjekt(okDrawing)->Start.Time = i;
    MoveObjekt(0, +1);
    EXPECT_EQ(ObjektList.CurIndex, 1);
    EXPECT_EQ(CurObjekt->Start.Time, 0);
    MoveObjekt(0, -1); // already at the top: nothing
    DeleteObjekt(1);
    EXPECT_EQ(ObjektList.Count, 2);
    EXPECT_EQ(CurObjekt, nullptr);
    ObjektList.Select(0);
    EXPECT_EQ(CurObjekt->Start.Time, 1);
    ObjektList.Select(1);
    EXPECT_EQ(CurObjekt->Start.Time, 2);
    DeleteObjekt(5);
    EXPECT_EQ(ObjektList.Count, 2);
    ClearObjekts();
    EXPECT_EQ(ObjektList.Count, 0);
}

TEST_F(ElementsTest, ReplacingAStringKeepsItOwned) {
    Objekt* o = AddObjekt(okText);
    ReplaceString(o->Text, "abc");
    EXPECT_STREQ(o->Text, "abc");
    ReplaceString(o->Text, "");
    EXPECT_STREQ(o->Text, "");
}

// The list shows each element as a start row and an end row: rows 0 to 5 of
// three elements are theirs in this order.
TEST(ListRows, EachElementHasItsStartRowThenItsEndRow) {
    Objekt o{};
    const struct {
        int32_t objekt;
        bool end;
        ObjektState* state;
    } rows[] = {{0, false, &o.Start}, {0, true, &o.End},    {1, false, &o.Start},
                {1, true, &o.End},    {2, false, &o.Start}, {2, true, &o.End}};
    for (int32_t row = 0; row < 6; ++row) {
        EXPECT_EQ(RowObjekt(row), rows[row].objekt) << row;
        EXPECT_EQ(RowIsEnd(row), rows[row].end) << row;
        EXPECT_EQ(&RowState(o, row), rows[row].state) << row;
    }
}

TEST(Rotation, DegreesAreStoredAsTruncatedTenths) {
    EXPECT_EQ(RotationFromDegrees(12.5), 125);
    EXPECT_EQ(RotationFromDegrees(-0.05), 0);
    EXPECT_EQ(RotationFromDegrees(2.3), 23);
    EXPECT_EQ(RotationFromDegrees(-2.3), -23);
    EXPECT_EQ(RotationFromDegrees(0.07), 0);
}

TEST(StageSettingsTest, DefaultsAndLimits) {
    StageSettings s;
    EXPECT_EQ(s.width(), 550);
    EXPECT_EQ(s.height(), 400);
    EXPECT_EQ(s.framesPerSecond(), 12);
    EXPECT_EQ(s.backgroundColor(), 0xFFFFFF);
    EXPECT_TRUE(s.repeat() && s.createHtml() && s.showAfterSaving());
    s.setWidth(5000);
    s.setHeight(0);
    s.setFramesPerSecond(121);
    EXPECT_EQ(s.width(), 2880);
    EXPECT_EQ(s.height(), 1);
    EXPECT_EQ(s.framesPerSecond(), 120);
    s.setFramesPerSecond(0xFFFFFFFFll);
    EXPECT_EQ(s.framesPerSecond(), 120);
}

} // namespace
