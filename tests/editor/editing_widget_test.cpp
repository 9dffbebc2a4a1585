// The window's undo and redo, recovery copies, keys, clipboard, drops and
// zoom, driven as a user drives them: keys, clicks and drops on controls
// found by their object names; questions answered through the seams.

#include "common/FakeModals.h"
#include "common/QtTestApplication.h"
#include "test_support.h"

#include "editor/clipboard/ElementMime.h"
#include "editor/model/MainUnit.h"
#include "editor/window/TMainForm.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> projectBytes() {
    return EncodeProjectBytes(*TakeProjectSnapshot());
}

class EditingTest : public testing::Test {
public:
    void SetUp() override {
        testsupport::ResetProject();
        // Copies of unsaved work of this case only; a child process keeps
        // its parent's.
        if (!std::getenv("MOVI_CHILD_PROJECT"))
            setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
        openForm();
    }
    void TearDown() override {
        form.reset();
        testsupport::ResetProject();
    }
    void openForm() {
        form = std::make_unique<TMainForm>();
        form->show();
        form->activateWindow(); // the window's shortcuts need it active
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    template <typename T = QWidget> T* find(const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void add(const char* entry) {
        QTest::mouseClick(find<QPushButton>("NewObjBtn"), Qt::LeftButton);
        auto* menu = find<QMenu>("NeuObjektMenu");
        QAction* action = menu->findChild<QAction*>(entry);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        // The closed menu hands the activation back, as on a desktop.
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const char* to = nullptr) {
        QTest::keyClick(to ? find(to) : form.get(), static_cast<Qt::Key>(k), mods);
    }
    void saveAs(const std::string& path) {
        modals.fileAnswer = QString::fromStdString(path);
        key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    }
    bool captionMarked() { return form->windowTitle().endsWith(" *"); }
    std::vector<std::string> recoveryCopies() const {
        std::vector<std::string> copies;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(form->RecoveryFolder().toStdString(), ec))
            if (e.path().extension() == ".fmo") copies.push_back(e.path().string());
        return copies;
    }

    movitest::FakeModals modals;
    std::unique_ptr<TMainForm> form;
    testsupport::TempDir dir;
    QStringList shown() const {
        QStringList texts;
        for (const QString& t : modals.messageTexts())
            texts << t.section(u'\n', 0, 0); // the question, without the file's name and time
        return texts;
    }
};

// ------------------------------------------------------------------ undo

struct StepRow {
    const char* name;
    std::function<void(EditingTest&)> act;
};

class UndoStepTest : public EditingTest, public testing::WithParamInterface<StepRow> {};

// Each kind of step: undone, the project is byte for byte as saved and the
// caption loses its mark; redone, the step is back.
TEST_P(UndoStepTest, UndoGivesBackTheSavedBytesAndRedoRepeats) {
    add("AddTextObjekt");
    add("VektorObjekt1");
    saveAs(dir.file("saved.fmo"));
    const auto saved = testsupport::ReadBytes(dir.file("saved.fmo"));
    ASSERT_EQ(projectBytes(), std::vector<uint8_t>(saved.begin(), saved.end()));
    ASSERT_FALSE(captionMarked()) << form->windowTitle().toStdString();
    const QString title = form->windowTitle();

    GetParam().act(*this);
    const auto changed = projectBytes();
    ASSERT_NE(changed, std::vector<uint8_t>(saved.begin(), saved.end()));
    EXPECT_EQ(form->windowTitle(), title + " *");
    EXPECT_TRUE(find<QToolButton>("UndoBtn")->isEnabled());

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(projectBytes(), std::vector<uint8_t>(saved.begin(), saved.end()));
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_TRUE(find<QToolButton>("RedoBtn")->isEnabled());

    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(projectBytes(), changed);
    EXPECT_TRUE(captionMarked());
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // another redo: nothing left
    EXPECT_EQ(projectBytes(), changed);
    EXPECT_FALSE(find<QToolButton>("RedoBtn")->isEnabled());
}

void selectRow(EditingTest& t, int row) {
    t.form->SelectRow(row);
}

INSTANTIATE_TEST_SUITE_P(
    Window, UndoStepTest,
    testing::Values(StepRow{"TypedText",
                            [](EditingTest& t) {
                                selectRow(t, 1);
                                QTest::keyClicks(t.find("TextEd"), "abc");
                            }},
                    StepRow{"TypedRotation",
                            [](EditingTest& t) {
                                selectRow(t, 1);
                                auto* rot = t.find<QDoubleSpinBox>("RotEd");
                                rot->selectAll();
                                QTest::keyClicks(rot, "12.5");
                            }},
                    StepRow{"DrawKind",
                            [](EditingTest& t) {
                                selectRow(t, 2);
                                QTest::keyClick(t.find("ObjectKindBox"), Qt::Key_Down);
                            }},
                    StepRow{"DeleteFlag",
                            [](EditingTest& t) {
                                selectRow(t, 0);
                                QTest::mouseClick(t.find<QCheckBox>("DelObCheck"), Qt::LeftButton);
                            }},
                    StepRow{"DeleteKey",
                            [](EditingTest& t) {
                                selectRow(t, 0);
                                t.key(Qt::Key_Delete, Qt::NoModifier, "ListView1");
                            }},
                    StepRow{"MoveDown",
                            [](EditingTest& t) {
                                selectRow(t, 1);
                                QTest::mouseClick(t.find<QToolButton>("MoveDownBtn"),
                                                  Qt::LeftButton);
                            }},
                    StepRow{"Add", [](EditingTest& t) { t.add("VektorObjekt1"); }},
                    StepRow{"Duplicate",
                            [](EditingTest& t) {
                                selectRow(t, 2);
                                t.key(Qt::Key_D, Qt::ControlModifier);
                            }},
                    StepRow{"StageDrag",
                            [](EditingTest& t) {
                                selectRow(t, 0);
                                QWidget* box = t.find("PaintBox1");
                                QTest::mousePress(box, Qt::LeftButton, {}, QPoint(30, 30));
                                QTest::mouseMove(box, QPoint(40, 35));
                                QTest::mouseMove(box, QPoint(70, 90));
                                QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(70, 90));
                            }},
                    StepRow{"ArrowKeyBurst",
                            [](EditingTest& t) {
                                selectRow(t, 3);
                                for (int i = 0; i < 3; ++i)
                                    t.key(Qt::Key_Right, Qt::NoModifier, "ListView1");
                                t.key(Qt::Key_Up, Qt::ShiftModifier, "ListView1");
                            }},
                    StepRow{"StageWidth",
                            [](EditingTest& t) {
                                auto* width = t.find<QSpinBox>("WidthEd");
                                width->selectAll();
                                QTest::keyClicks(width, "640");
                            }}),
    [](const testing::TestParamInfo<StepRow>& info) { return std::string(info.param.name); });

TEST_F(EditingTest, HintsNameTheStepAndNewStartsAFreshHistory) {
    EXPECT_FALSE(find<QToolButton>("UndoBtn")->isEnabled());
    add("AddTextObjekt");
    form->SelectRow(0);
    QTest::keyClicks(find("TextEd"), "x");
    EXPECT_EQ(find<QToolButton>("UndoBtn")->toolTip(), "元に戻す: テキストの変更");
    EXPECT_EQ(find<QToolButton>("UndoBtn")->text(), "元に戻す");
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(find<QToolButton>("RedoBtn")->toolTip(), "やり直し: テキストの変更");
    // Undo reloads the editors without writing anything back.
    EXPECT_EQ(find<QLineEdit>("TextEd")->text(), "テキスト");
    EXPECT_EQ(form->SelectedRow(), 0);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ObjektList.Count, 0);
    EXPECT_FALSE(captionMarked());
    key(Qt::Key_Y, Qt::ControlModifier);
    key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_FALSE(find<QToolButton>("UndoBtn")->isEnabled());
    EXPECT_FALSE(find<QToolButton>("RedoBtn")->isEnabled());
    EXPECT_FALSE(captionMarked());
}

// Escape during a drag puts the rectangle back and records nothing.
TEST_F(EditingTest, EscapeDuringADragPutsTheRectangleBack) {
    add("VektorObjekt1");
    const auto before = projectBytes();
    QWidget* box = find("PaintBox1");
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseMove(box, QPoint(90, 90));
    ASSERT_NE(projectBytes(), before);
    key(Qt::Key_Escape);
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(90, 90));
    EXPECT_EQ(projectBytes(), before);
    key(Qt::Key_Z, Qt::ControlModifier); // undoes the add, not a drag
    EXPECT_EQ(ObjektList.Count, 0);
}

// ------------------------------------------------------------------ recovery

TEST_F(EditingTest, RecoveryCopyAppearsWithinTenSecondsAndGoesWithASave) {
    add("AddTextObjekt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return recoveryCopies().size() == 1; }, 10000));
    saveAs(dir.file("kept.fmo"));
    EXPECT_TRUE(recoveryCopies().empty());
    // Undoing back to the saved state also needs no copy.
    form->SelectRow(0);
    QTest::keyClicks(find("TextEd"), "x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return recoveryCopies().size() == 1; }, 10000));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recoveryCopies().empty(); }, 10000));
}

// The child: a window whose project was saved, then edited; it waits to be killed.
TEST_F(EditingTest, DISABLED_RecoveryChildEditsAndWaits) {
    const char* project = std::getenv("MOVI_CHILD_PROJECT");
    ASSERT_NE(project, nullptr);
    add("AddTextObjekt");
    saveAs(project);
    form->SelectRow(1);
    QTest::keyClicks(find("TextEd"), "killed");
    for (;;)
        QTest::qWait(100);
}

TEST_F(EditingTest, WorkOfAKilledEditorIsOfferedAtTheNextStart) {
    const std::string project = dir.file("work.fmo");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MOVI_CHILD_PROJECT", QString::fromStdString(project));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=EditingTest.DISABLED_RecoveryChildEditsAndWaits"});
    ASSERT_TRUE(child.waitForStarted());
    // Its copy appears within ten seconds; while it runs, it is not offered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return recoveryCopies().size() == 1; }, 15000));
    EXPECT_FALSE(form->OfferRecovery(QString::fromStdString(project)));
    EXPECT_TRUE(shown().isEmpty());
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished());

    // The next start: asked, answered Yes, the work is back and modified.
    form.reset();
    testsupport::ResetProject();
    openForm();
    form->OpenProjectFile(QString::fromStdString(project));
    modals.messageAnswer = QMessageBox::Yes;
    ASSERT_TRUE(form->OfferRecovery(QString::fromStdString(project)));
    ASSERT_EQ(shown(), QStringList{QString::fromUtf8(RecoveryQuestionText)});
    ASSERT_EQ(ObjektList.Count, 1);
    EXPECT_EQ(std::string(static_cast<Objekt*>(ObjektList.GetItem(0))->Text),
              std::string(DefaultText) + "killed");
    EXPECT_EQ(form->windowTitle(), "Tarvelo Movi-Loomster 1.0 - [work.fmo] *");
    // Saving goes over the original and ends the copy.
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(recoveryCopies().empty());
    EXPECT_EQ(testsupport::ReadBytes(project).size(), projectBytes().size());
}

TEST_F(EditingTest, DeclinedWorkMovesToOld) {
    add("AddTextObjekt");
    form->close(); // closing keeps unsaved work instead of asking
    ASSERT_EQ(recoveryCopies().size(), 1u);
    form.reset();
    testsupport::ResetProject();
    openForm();
    modals.messageAnswer = QMessageBox::No;
    EXPECT_FALSE(form->OfferRecovery({}));
    EXPECT_EQ(ObjektList.Count, 0);
    EXPECT_TRUE(recoveryCopies().empty());
    EXPECT_TRUE(fs::exists(fs::path(form->RecoveryFolder().toStdString()) / "old"));
    EXPECT_FALSE(form->OfferRecovery({})) << "declined work is not offered again";
}

// ------------------------------------------------------------------ clipboard and drops

TEST_F(EditingTest, CopiedElementPastesWithItsPictureIntoAnotherWindow) {
    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("p.png"))));
    modals.fileAnswer = QString::fromStdString(dir.file("p.png"));
    add("Bild1");
    ASSERT_EQ(ObjektList.Count, 1);
    const auto original = projectBytes();
    key(Qt::Key_C, Qt::ControlModifier, "ListView1");
    ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(ElementMimeType));

    form.reset();
    testsupport::ResetProject();
    openForm();
    key(Qt::Key_V, Qt::ControlModifier, "ListView1");
    EXPECT_EQ(projectBytes(), original);
    EXPECT_EQ(form->SelectedRow(), 0);

    // Plain text becomes a text element when Shift-JIS can hold it.
    QGuiApplication::clipboard()->setText("こんにちは");
    key(Qt::Key_V, Qt::ControlModifier, "ListView1");
    ASSERT_EQ(ObjektList.Count, 2);
    EXPECT_EQ(find<QLineEdit>("TextEd")->text(), "こんにちは");
    QGuiApplication::clipboard()->setText("\u00e9\u0101");
    key(Qt::Key_V, Qt::ControlModifier, "ListView1");
    EXPECT_EQ(ObjektList.Count, 2);
    // Cut takes the element out; one undo brings it back.
    key(Qt::Key_X, Qt::ControlModifier, "ListView1");
    EXPECT_EQ(ObjektList.Count, 1);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ObjektList.Count, 2);
}

void drop(QWidget* target, QPoint at, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
}

TEST_F(EditingTest, DroppedPicturesAreAddedAndADroppedProjectOpens) {
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("a.png"))));
    testsupport::WriteBytes(dir.file("broken.png"), {'n', 'o'});
    QWidget* box = find("PaintBox1");
    const QPoint at = box->mapTo(form.get(), QPoint(200, 120));
    drop(form.get(), at,
         {QUrl::fromLocalFile(QString::fromStdString(dir.file("a.png"))),
          QUrl::fromLocalFile(QString::fromStdString(dir.file("broken.png"))),
          QUrl::fromLocalFile(QString::fromStdString(dir.file("a.png")))});
    EXPECT_EQ(shown(), QStringList{QString::fromUtf8(PictureOpenErrorText)});
    ASSERT_EQ(ObjektList.Count, 2);
    const auto* first = static_cast<Objekt*>(ObjektList.GetItem(0));
    EXPECT_EQ(first->Kind, okPicture);
    EXPECT_EQ((std::vector<int32_t>{first->Start.Left, first->Start.Top, first->Start.Right}),
              (std::vector<int32_t>{200, 120, 240}));
    key(Qt::Key_Z, Qt::ControlModifier); // both in one step
    EXPECT_EQ(ObjektList.Count, 0);

    add("AddTextObjekt");
    saveAs(dir.file("dropped.fmo"));
    key(Qt::Key_N, Qt::ControlModifier);
    drop(form.get(), at, {QUrl::fromLocalFile(QString::fromStdString(dir.file("dropped.fmo")))});
    EXPECT_EQ(ObjektList.Count, 1);
    EXPECT_EQ(form->windowTitle(), "Tarvelo Movi-Loomster 1.0 - [dropped.fmo]");
}

// ------------------------------------------------------------------ zoom

TEST_F(EditingTest, ZoomPaintsScaledAndKeepsDragsExactInStagePixels) {
    add("VektorObjekt1");
    QWidget* box = find("PaintBox1");
    const QImage at100 = box->grab().toImage();
    key(Qt::Key_Plus, Qt::ControlModifier);
    key(Qt::Key_Plus, Qt::ControlModifier);
    ASSERT_EQ(form->Zoom(), 200);
    EXPECT_EQ(box->size(), QSize(1100, 800));
    const QImage at200 = box->grab().toImage();
    for (const QPoint p : {QPoint(10, 10), QPoint(30, 30), QPoint(51, 51), QPoint(120, 125)})
        EXPECT_EQ(at200.pixel(2 * p.x() + 1, 2 * p.y() + 1), at100.pixel(p)) << p.x();
    // The bottom-right handle of (10, 10)-(50, 50) sits at stage (51, 51).
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(103, 103));
    QTest::mouseMove(box, QPoint(123, 133));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(143, 143));
    const auto* o = static_cast<Objekt*>(ObjektList.GetItem(0));
    EXPECT_EQ((std::vector<int32_t>{o->Start.Left, o->Start.Top, o->Start.Right, o->Start.Bottom}),
              (std::vector<int32_t>{10, 10, 71, 71}));
    key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(form->Zoom(), 100);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box->grab().toImage(), at100) << "at 100% every pixel is as before";
    for (int i = 0; i < 5; ++i)
        key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(form->Zoom(), 25);
}

} // namespace
