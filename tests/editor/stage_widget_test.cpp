// The stage view inside the main window, driven with the mouse as a user
// drives it; the project file then holds what the drag made.

#include "common/QtTestApplication.h"
#include "test_support.h"

#include "editor/model/MainUnit.h"
#include "editor/window/TMainForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

class StageWidgetTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        ModalSeams::SetFileDialog([this](QWidget*, const FileDialogRequest&) { return answer; });
        ModalSeams::SetDialogRunner([](QDialog&) { return 0; });
        form = std::make_unique<TMainForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        box = form->findChild<QWidget*>("PaintBox1");
        ASSERT_NE(box, nullptr);
    }
    void TearDown() override {
        form.reset();
        ModalSeams::SetFileDialog({});
        ModalSeams::SetDialogRunner({});
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

    std::unique_ptr<TMainForm> form;
    QWidget* box = nullptr;
    QString answer;
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

} // namespace
