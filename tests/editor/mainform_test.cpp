// The main window driven as a user drives it: clicks, typed text and pasted
// text on controls found by their object names. File dialogs and message
// boxes go through the modal seam's fake.

#include "common/FakeModals.h"
#include "common/QtTestApplication.h"
#include "test_support.h"

#include "app/gui/ShiftJisText.h"
#include "editor/model/MainUnit.h"
#include "editor/window/TMainForm.h"
#include "platform/SystemServices.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <memory>

using testsupport::TempDir;

namespace {

class MainFormTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        form = std::make_unique<TMainForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override {
        form.reset();
        testsupport::ResetProject();
    }

    template <typename T> T* find(const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTableView* list() { return find<QTableView>("ListView1"); }

    // "要素を追加..." and then an entry of its menu.
    void addElement(const char* entry) {
        QTest::mouseClick(find<QPushButton>("NewObjBtn"), Qt::LeftButton);
        auto* menu = find<QMenu>("NeuObjektMenu");
        ASSERT_TRUE(menu->isVisible());
        QAction* action = menu->findChild<QAction*>(entry);
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
    void clickRow(int row) {
        const QModelIndex index = list()->model()->index(row, 0);
        list()->scrollTo(index);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualRect(index).center());
    }
    // Near the left edge: a check box only takes clicks on its box and caption.
    void click(const char* name) {
        QAbstractButton* b = find<QAbstractButton>(name);
        QTest::mouseClick(b, Qt::LeftButton, {},
                          QPoint(std::min(8, b->width() / 2), b->height() / 2));
    }
    // Replaces a line edit's whole text as a paste does: one change.
    void paste(QLineEdit* edit, const QString& text) {
        QApplication::clipboard()->setText(text);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    // Key presses that carry any character, as an input method delivers them.
    static void type(QWidget* w, const QString& text) {
        for (int i = 0; i < text.size(); ++i) {
            const int len = text.at(i).isHighSurrogate() ? 2 : 1;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, len));
            QApplication::sendEvent(w, &press);
            i += len - 1;
        }
    }
    void typeOver(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        type(edit, text);
    }
    void showTab(const char* tabs, int index) {
        QTabBar* bar = find<QTabWidget>(tabs)->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    QString caption(int row) { return list()->model()->index(row, 0).data().toString(); }
    Objekt& element(int i) {
        ObjektList.Select(i);
        return *CurObjekt;
    }
    std::string text(int i) { return FromCp932(element(i).Text).toStdString(); }
    QWidget* enabledPage() {
        QWidget* only = nullptr;
        for (const char* name : {"TabSheet4", "TabSheet5", "TabSheet6"})
            if (find<QWidget>(name)->isEnabled()) only = only ? form.get() : find<QWidget>(name);
        return only;
    }

    movitest::FakeModals modals;
    std::vector<FileDialogRequest>& requests = modals.fileRequests;
    std::vector<MessageRequest>& boxes = modals.messages;
    QString& answer = modals.fileAnswer; // what the next file dialog returns
    std::unique_ptr<TMainForm> form;
    TempDir dir;
};

TEST_F(MainFormTest, WindowStartsAt750By550ForAnUnnamedProject) {
    EXPECT_EQ(form->size(), QSize(750, 550));
    form->resize(400, 300); // never smaller than that
    EXPECT_EQ(form->size(), QSize(750, 550));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tarvelo Movi-Loomster 1.0 - [noname.fmo]"));
    EXPECT_EQ(find<QTabWidget>("PageControl2")->currentWidget(), find<QWidget>("TabSheet4"));
    EXPECT_FALSE(find<QWidget>("TabSheet4")->isEnabled());
    EXPECT_FALSE(find<QWidget>("TabSheet5")->isEnabled());
}

TEST_F(MainFormTest, AddingSelectsTheStartRowAndShowsThePage) {
    addElement("AddTextObjekt");
    EXPECT_EQ(form->SelectedRow(), 0);
    EXPECT_EQ(enabledPage(), find<QWidget>("TabSheet4"));
    addElement("VektorObjekt1");
    EXPECT_EQ(form->SelectedRow(), 2);
    EXPECT_EQ(enabledPage(), find<QWidget>("TabSheet5"));
    EXPECT_EQ(find<QTabWidget>("PageControl2")->currentWidget(), find<QWidget>("TabSheet5"));
    EXPECT_EQ(caption(0), QStringLiteral("テキスト: 'テキスト'の スタート"));
    EXPECT_EQ(caption(1), QStringLiteral("  テキスト: 'テキスト'の 終わり"));
    EXPECT_EQ(caption(2), QStringLiteral("描画の スタート"));
    EXPECT_EQ(caption(3), QStringLiteral("  描画の 終わり"));
}

TEST_F(MainFormTest, PictureIsReadThroughTheOpenPictureDialogAndConvertedTo24Bits) {
    QImage image(30, 20, QImage::Format_Indexed8);
    image.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
    image.fill(1);
    answer = QString::fromStdString(dir.file("blue.bmp"));
    ASSERT_TRUE(image.save(answer, "BMP"));
    addElement("Bild1");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].name, "OpenDialog2");
    EXPECT_EQ(requests[0].filter, QString::fromUtf8(PictureFileFilter));
    ASSERT_EQ(ObjektList.Count, 1);
    const DibRecord& pic = element(0).Picture;
    ASSERT_NE(pic.Bits, nullptr);
    EXPECT_EQ(pic.Info->biBitCount, 24);
    EXPECT_EQ(pic.Info->biWidth, 30);
    EXPECT_EQ(pic.Bits[0], 255); // blue, green, red
    EXPECT_EQ(pic.Bits[2], 0);
    EXPECT_EQ(enabledPage(), find<QWidget>("TabSheet6"));
    EXPECT_EQ(caption(1), QStringLiteral("  ピクチャの 終わり"));
}

TEST_F(MainFormTest, UnreadablePictureShowsTheMessageAndAddsNothing) {
    answer = QString::fromStdString(dir.file("note.txt"));
    testsupport::WriteBytes(answer.toStdString(), {'h', 'i'});
    addElement("Bild1");
    EXPECT_EQ(ObjektList.Count, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text, QStringLiteral("ファイルを開くことができませんでした."));
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Ok);
}

struct DamagedProjectCase {
    const char* name;
    std::vector<uint8_t> bytes; // empty: a folder of that name
    const char* reason;
};

class DamagedProjectTest : public MainFormTest,
                           public ::testing::WithParamInterface<DamagedProjectCase> {};

// The box keeps its fixed text and tells under it which file was refused
// and why; the open project stays.
TEST_P(DamagedProjectTest, BoxNamesTheFileAndTheReason) {
    const DamagedProjectCase& c = GetParam();
    addElement("AddTextObjekt");
    answer = QString::fromStdString(dir.file("プロジェクト.fmo"));
    if (c.bytes.empty())
        std::filesystem::create_directory(answer.toStdString());
    else
        testsupport::WriteBytes(answer.toStdString(), c.bytes);
    click("OpenBtn");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text, QStringLiteral("ファイルを開くことができませんでした."));
    EXPECT_EQ(boxes[0].informativeText, answer + u'\n' + QString::fromUtf8(c.reason));
    EXPECT_EQ(ObjektList.Count, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Opening, DamagedProjectTest,
    ::testing::Values(
        DamagedProjectCase{"Folder", {}, "it is a folder, not a file"},
        DamagedProjectCase{"NoIdentification",
                           {'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'o', 'j', 'e', 'c', 't'},
                           "identification text at byte 0 runs past the end of the file (13 "
                           "bytes)"},
        DamagedProjectCase{"OtherIdentification", std::vector<uint8_t>(40, 'x'),
                           "identification text at byte 0 is not \"Tarvelo Movi-Loomster 1.0\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, MoveDownFromRow3AndBackUp) {
    for (const char* name : {"a", "b", "c"}) {
        addElement("AddTextObjekt");
        typeOver(find<QLineEdit>("TextEd"), name);
    }
    clickRow(3);
    click("MoveDownBtn");
    EXPECT_EQ(form->SelectedRow(), 4);
    EXPECT_EQ(text(1), "c");
    EXPECT_EQ(text(2), "b");
    click("MoveUpBtn");
    EXPECT_EQ(form->SelectedRow(), 2);
    EXPECT_EQ(text(1), "b");
    click("MoveUpBtn");
    click("MoveUpBtn"); // the first element stays where it is
    EXPECT_EQ(form->SelectedRow(), 0);
    EXPECT_EQ(text(0), "b");
}

TEST_F(MainFormTest, TextEditOnAnEndRowChangesBothCaptionsAndKeepsTheRow) {
    addElement("AddTextObjekt");
    clickRow(1);
    typeOver(find<QLineEdit>("TextEd"), QStringLiteral("ようこそ"));
    EXPECT_EQ(form->SelectedRow(), 1);
    EXPECT_EQ(text(0), "ようこそ");
    EXPECT_EQ(caption(0), QStringLiteral("テキスト: 'ようこそ'の スタート"));
    EXPECT_EQ(caption(1), QStringLiteral("  テキスト: 'ようこそ'の 終わり"));
}

TEST_F(MainFormTest, TextThatShiftJisCannotHoldIsRefused) {
    addElement("AddTextObjekt");
    auto* edit = find<QLineEdit>("TextEd");
    typeOver(edit, QStringLiteral("ok"));
    type(edit, QStringLiteral("\U0001F600"));
    EXPECT_EQ(edit->text(), QStringLiteral("ok"));
    EXPECT_EQ(std::string(element(0).Text), "ok");
    EXPECT_TRUE(find<QLabel>("StatusLine")->text().contains(QStringLiteral("\U0001F600")));
    type(edit, QStringLiteral("!"));
    EXPECT_EQ(std::string(element(0).Text), "ok!");
    EXPECT_TRUE(find<QLabel>("StatusLine")->text().isEmpty());
    type(edit, QStringLiteral("\U0001F600"));
    clickRow(1); // another row: the message went with the text it was about
    EXPECT_TRUE(find<QLabel>("StatusLine")->text().isEmpty());
}

TEST_F(MainFormTest, RotationOnAnEndRowWritesTheEndStateInTenths) {
    addElement("VektorObjekt1");
    clickRow(1);
    auto* rot = find<QDoubleSpinBox>("RotEd2");
    typeOver(rot->findChild<QLineEdit*>(), QStringLiteral("12.5"));
    EXPECT_EQ(element(0).End.Rotation, 125);
    EXPECT_EQ(element(0).Start.Rotation, 0);
    clickRow(0);
    EXPECT_EQ(rot->value(), 0.0);
    clickRow(1);
    EXPECT_EQ(rot->value(), 12.0); // 125 tenths show as whole degrees
}

struct FontSizeCase {
    const char* name;
    const char* typed;
    const char* shown;
    int32_t stored;
};

class FontSizeRule : public MainFormTest, public testing::WithParamInterface<FontSizeCase> {};

TEST_P(FontSizeRule, OnlySizesFrom1To999AreTaken) {
    addElement("AddTextObjekt");
    clickRow(1);
    auto* box = find<QComboBox>("FontSize");
    paste(box->lineEdit(), QString::fromUtf8(GetParam().typed));
    EXPECT_EQ(box->currentText(), QString::fromUtf8(GetParam().shown));
    EXPECT_EQ(element(0).End.FontSize, GetParam().stored);
    EXPECT_EQ(element(0).Start.FontSize, 24);
    EXPECT_EQ(CurFontSize, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(MainForm, FontSizeRule,
                         testing::Values(FontSizeCase{"Zero", "0", "24", 24},
                                         FontSizeCase{"Thousand", "1000", "24", 24},
                                         FontSizeCase{"Word", "gross", "24", 24},
                                         FontSizeCase{"ThirtySix", "36", "36", 36}),
                         [](const auto& info) { return std::string(info.param.name); });

// A button has no page: none can be opened for it, and none shows the values
// of the element selected before.
TEST_F(MainFormTest, ButtonElementFromAFileShowsItsRowsAndNoPage) {
    AddObjekt(okText);
    AddObjekt(okButton);
    const std::string path = dir.file("button.fmo");
    ASSERT_TRUE(SaveProject(path));
    ClearObjekts();
    answer = QString::fromStdString(path);
    click("OpenBtn");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].name, "OpenDialog1");
    EXPECT_EQ(requests[0].filter, QStringLiteral("Movi-Loomsterのファイル (*.fmo)|*.fmo"));
    EXPECT_EQ(caption(2), QStringLiteral("Button: スタート"));
    EXPECT_EQ(caption(3), QStringLiteral("  Button: 終わり"));
    clickRow(1);
    EXPECT_EQ(enabledPage(), find<QWidget>("TabSheet4"));
    EXPECT_EQ(find<QLineEdit>("TextEd")->text(), QStringLiteral("テキスト"));
    clickRow(2);
    EXPECT_EQ(form->SelectedRow(), 2);
    EXPECT_EQ(enabledPage(), nullptr);
    EXPECT_TRUE(find<QLineEdit>("TextEd")->text().isEmpty());
    EXPECT_TRUE(find<QComboBox>("FontSize")->currentText().isEmpty());
    QTabWidget* pages = find<QTabWidget>("PageControl2");
    QWidget* shown = pages->currentWidget();
    showTab("PageControl2",
            pages->indexOf(find<QWidget>("TabSheet5")) == pages->currentIndex() ? 0 : 1);
    EXPECT_EQ(pages->currentWidget(), shown);
    EXPECT_EQ(element(1).Start.FontSize, DefaultFontSize); // clearing the pages wrote nothing
}

TEST_F(MainFormTest, DeleteLeavesNoRowSelectedAndThePagesDisabled) {
    addElement("AddTextObjekt");
    addElement("VektorObjekt1");
    clickRow(1);
    click("DellObBtn");
    EXPECT_EQ(ObjektList.Count, 1);
    EXPECT_EQ(element(0).Kind, okDrawing);
    EXPECT_EQ(form->SelectedRow(), -1);
    EXPECT_EQ(enabledPage(), nullptr);
    click("DellObBtn"); // without a selected row nothing is deleted
    EXPECT_EQ(ObjektList.Count, 1);
}

TEST_F(MainFormTest, NewProjectKeepsTheSettingsAndCheckBoxes) {
    addElement("AddTextObjekt");
    showTab("PageControl1", 1);
    typeOver(find<QSpinBox>("WidthEd")->findChild<QLineEdit*>(), QStringLiteral("640"));
    showTab("PageControl1", 2);
    click("RepeatCheck");
    click("AutoLoadFlashCheck");
    click("NewBtn");
    EXPECT_EQ(ObjektList.Count, 0);
    EXPECT_EQ(list()->model()->rowCount(), 0);
    EXPECT_EQ(Stage.width(), 640);
    EXPECT_FALSE(Stage.repeat());
    EXPECT_FALSE(find<QCheckBox>("RepeatCheck")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("AutoLoadFlashCheck")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CreateHTMLCheck")->isChecked());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tarvelo Movi-Loomster 1.0 - [noname.fmo]"));
}

TEST_F(MainFormTest, SaveAsAddsTheExtensionAndSaveThenWritesWithoutAsking) {
    addElement("AddTextObjekt");
    answer = QString::fromStdString(dir.file("movie"));
    click("SaveBtn");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].name, "SaveDialog2");
    EXPECT_EQ(requests[0].defaultSuffix, "fmo");
    EXPECT_EQ(ProjectFileName, dir.file("movie.fmo"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tarvelo Movi-Loomster 1.0 - [movie.fmo]"));
    typeOver(find<QLineEdit>("TextEd"), "x");
    click("SaveBtn");
    EXPECT_EQ(requests.size(), 1u);
    ClearObjekts();
    ASSERT_TRUE(LoadProject(dir.file("movie.fmo")));
    EXPECT_EQ(text(0), "x");
}

TEST_F(MainFormTest, FileErrorsShowTheirMessagesAndChangeNothing) {
    addElement("AddTextObjekt");
    answer = QString::fromStdString(dir.file("missing/dir/p.fmo"));
    click("SaveAsBtn");
    answer = QString::fromStdString(dir.file("bad.fmo"));
    testsupport::WriteBytes(answer.toStdString(), {'n', 'o', 'p', 'e'});
    click("OpenBtn");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("エラー: ファイルを作成できません"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("ファイルを開くことができませんでした."));
    for (const MessageRequest& b : boxes) {
        EXPECT_EQ(b.icon, QMessageBox::Critical);
        EXPECT_EQ(b.buttons, QMessageBox::Ok);
    }
    EXPECT_EQ(ObjektList.Count, 1);
    EXPECT_EQ(ProjectFileName, "");
    EXPECT_EQ(form->SelectedRow(), 0);
}

TEST_F(MainFormTest, ShortcutsRunTheirCommands) {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, "OpenDialog1");
    EXPECT_EQ(requests[1].name, "SaveDialog2");
    AddObjekt(okText);
    QTest::keyClick(form.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(ObjektList.Count, 0);
}

TEST_F(MainFormTest, FontBoxListsTheDefaultFacesAndOnlyNamesShiftJisCanHold) {
    auto* box = find<QComboBox>("FontEd");
    EXPECT_GE(box->findText(QStringLiteral("ＭＳ ゴシック")), 0);
    EXPECT_GE(box->findText(QStringLiteral("ＭＳ 明朝")), 0);
    for (int i = 0; i < box->count(); ++i) {
        const auto cp932 = ToCp932(box->itemText(i));
        ASSERT_TRUE(cp932) << box->itemText(i).toStdString();
        EXPECT_LE(cp932->size(), 31u) << box->itemText(i).toStdString();
    }
    addElement("AddTextObjekt");
    box->showPopup();
    QAbstractItemView* popup = box->view();
    const QModelIndex mincho = popup->model()->index(box->findText(QStringLiteral("ＭＳ 明朝")), 0);
    popup->scrollTo(mincho);
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(mincho).center());
    EXPECT_EQ(FromCp932(element(0).FontName), QStringLiteral("ＭＳ 明朝"));
}

TEST_F(MainFormTest, AboutButtonShowsTheAboutBoxModally) {
    click("BitBtn1");
    EXPECT_EQ(modals.dialogs, std::vector<QString>{QStringLiteral("Info")});
}

TEST_F(MainFormTest, WebButtonOpensTheMakersPage) {
    click("wwwBtn");
    EXPECT_EQ(modals.opened, std::vector<std::string>{MakerWebAddress});
    EXPECT_EQ(find<QPushButton>("wwwBtn")->text(), QString::fromUtf8(MakerWebAddress));
}

} // namespace
