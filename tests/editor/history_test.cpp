// The undo history on the project model: every kind of step undone gives
// back the project's bytes exactly, redone gives the changed bytes again;
// merging steps; pictures travel through the history without being copied.

#include "test_support.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/undo/ProjectHistory.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::vector<uint8_t> projectBytes() {
    return EncodeProjectBytes(*TakeProjectSnapshot());
}

class RecordingHistoryView final : public HistoryView {
public:
    void historyStepShown(const Shown& shown) override {
        rows.push_back(shown.row);
        settingsShown = settingsShown || shown.settingsChanged;
    }
    std::vector<int32_t> rows;
    bool settingsShown = false;
};

// Two texts and a 3 x 2 picture.
void makeProject() {
    testsupport::ResetProject();
    AddObjekt(okText);
    AddObjekt(okDrawing);
    DibRecord pic{};
    ASSERT_TRUE(Pixmill.newdib(&pic, 3, 2, 24, nullptr, 0));
    pic.Bits[0] = 0x42;
    AddObjekt(okPicture, &pic);
}

struct StepCase {
    const char* name;
    std::function<void(ProjectHistory&)> step;
    int32_t rowAfterUndo;
};

class HistoryStepTest : public testing::TestWithParam<StepCase> {};

TEST_P(HistoryStepTest, UndoGivesBackTheBytesAndRedoRepeatsTheStep) {
    makeProject();
    RecordingHistoryView view;
    ProjectHistory history(&view);
    const auto before = projectBytes();
    GetParam().step(history);
    const auto after = projectBytes();
    ASSERT_NE(before, after);
    EXPECT_TRUE(history.isModified());
    EXPECT_TRUE(view.rows.empty()) << "pushing is shown by the handler, not the history";

    history.stack().undo();
    EXPECT_EQ(projectBytes(), before);
    EXPECT_FALSE(history.isModified());
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows.back(), GetParam().rowAfterUndo);

    history.stack().redo();
    EXPECT_EQ(projectBytes(), after);
    history.stack().undo();
    EXPECT_EQ(projectBytes(), before);
    testsupport::ResetProject();
}

ObjektState stateOf(int32_t row) {
    ObjektList.Select(RowObjekt(row));
    return RowState(*CurObjekt, row);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, HistoryStepTest,
    testing::Values(StepCase{"Colour",
                             [](ProjectHistory& h) {
                                 ObjektState s = stateOf(3);
                                 s.Color = 0x123456;
                                 h.setState(3, s, step::Color);
                             },
                             3},
                    StepCase{"Rectangle",
                             [](ProjectHistory& h) { h.setStateRect(4, 1, 2, 300, 400); }, 4},
                    StepCase{"DragWrittenInPlace",
                             [](ProjectHistory& h) {
                                 const ObjektState before = stateOf(1);
                                 ObjektList.Select(0);
                                 CurObjekt->End.Left += 33;
                                 h.stateChanged(1, before, step::Move);
                             },
                             1},
                    StepCase{"Text", [](ProjectHistory& h) { h.setText(0, "abc"); }, 0},
                    StepCase{"FontFace", [](ProjectHistory& h) { h.setFontName(1, "Face"); }, 1},
                    StepCase{"DeleteFlagAndKind",
                             [](ProjectHistory& h) {
                                 ObjektList.Select(1);
                                 ElementValues v = ElementValues::Of(*CurObjekt);
                                 v.DeleteAtEnd = 0;
                                 v.DrawKind = dkEllipse;
                                 h.setValues(1, 2, v, step::DrawKind);
                             },
                             2},
                    StepCase{"DeletePicture", [](ProjectHistory& h) { h.removeElement(2); }, 4},
                    StepCase{"DeleteFirst", [](ProjectHistory& h) { h.removeElement(0); }, 0},
                    StepCase{"Add",
                             [](ProjectHistory& h) {
                                 AddObjekt(okDrawing);
                                 h.elementsInserted(ObjektList.Count - 1, 1, step::Add);
                             },
                             -1},
                    StepCase{"DuplicatePicture",
                             [](ProjectHistory& h) {
                                 ObjektList.Select(2);
                                 h.insertElements(3, {CopyObjekt(*CurObjekt)}, step::Duplicate);
                             },
                             -1},
                    StepCase{"MoveDown", [](ProjectHistory& h) { h.moveElement(0, +1); }, 0},
                    StepCase{"MoveUp", [](ProjectHistory& h) { h.moveElement(2, -1); }, 4},
                    StepCase{"Settings",
                             [](ProjectHistory& h) {
                                 StageSettings s = Stage;
                                 s.setWidth(640);
                                 s.setRepeat(false);
                                 h.setSettings(s);
                             },
                             -1}),
    [](const testing::TestParamInfo<StepCase>& info) { return std::string(info.param.name); });

TEST(History, TypingMergesIntoOneStepUntilAnotherFieldIsEdited) {
    makeProject();
    ProjectHistory history(nullptr);
    const auto before = projectBytes();
    for (const char* typed : {"a", "ab", "abc"})
        history.setText(0, typed);
    EXPECT_EQ(history.stack().count(), 1);
    ObjektState s = stateOf(0);
    s.Rotation = 100;
    history.setState(0, s, step::Rotation, HistoryMerge::Rotation);
    history.setText(0, "abcd");
    EXPECT_EQ(history.stack().count(), 3);
    history.stack().undo();
    history.stack().undo();
    history.stack().undo();
    EXPECT_EQ(projectBytes(), before);

    // Typing back to what was there leaves no step at all.
    history.setText(1, "x");
    history.setText(1, "xy");
    history.setText(1, DefaultText);
    EXPECT_EQ(history.stack().count(), 0);
    testsupport::ResetProject();
}

TEST(History, PicturesAreSharedNotCopied) {
    makeProject();
    ProjectHistory history(nullptr);
    ObjektList.Select(2);
    const uint8_t* pixels = CurObjekt->Picture.Bits;
    ObjektList.Select(2);
    history.insertElements(3, {CopyObjekt(*CurObjekt)}, step::Duplicate);
    history.removeElement(2);
    ObjektList.Select(2);
    EXPECT_EQ(CurObjekt->Picture.Bits, pixels) << "the duplicate shares the pixels";
    history.stack().undo();
    ObjektList.Select(2);
    EXPECT_EQ(CurObjekt->Picture.Bits, pixels) << "undo puts back the same picture";
    // The history's holders end with it; the project's copy stays readable.
    history.reset();
    ClearObjekts();
    AddObjekt(okText);
    EXPECT_EQ(ObjektList.Count, 1);
    testsupport::ResetProject();
}

} // namespace
