// The window itself: construction, the shared operations, and the file and
// element-list commands.

#include "editor/window/TMainForm.h"

#include "app/gui/UiFonts.h"
#include "app/imaging/PixmillBinding.h"
#include "app/widgets/ProgramIcon.h"
#include "app/widgets/TAboutBox.h"
#include "app/widgets/TTintelColorComboBox.h"
#include "compiler/PictureExport.h"
#include "editor/model/MainUnit.h"
#include "editor/recovery/RecoveryStore.h"
#include "editor/stage/MoviePreview.h"
#include "editor/window/ElementListModel.h"
#include "editor/window/TStagePaintBox.h"
#include "player/window/PlayerRouting.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

const char* const MainFormTitle = "Tarvelo Movi-Loomster 1.0";
const char* const MakerWebAddress = "https://www.tarvelo.example/moviloomster/";
const char* const ProjectFileFilter = "Movi-Loomsterのファイル (*.fmo)|*.fmo";
const char* const PictureFileFilter =
    "すべてのピクチャ|*.BMP;*.DIB;*.GIF;*.IFF;*.JIF;*.JPG;*.LBM;*.PCX;*.RLE;*.TGA;*.TIF;*.PNG|"
    "BMP - Windows,OS/2 Bitmap|*.BMP|DIB - Windows,OS/2 DIB|*.DIB|"
    "GIF - CompuServe Graphics Interchange|*.GIF|IFF - Amiga|*.IFF|"
    "JIF - JPEG - JFIF Compilant|*.JIF|JPG - JPEG - JFIF Compilant|*.JPG|"
    "LBM - Deluxe Paint|*.LBM|PCX - ZSoft Paintbrush|*.PCX|RLE - Windows RLE|*.RLE|"
    "TGA - Truevision Targa|*.TGA|TIF - Tagged Image File Format|*.TIF|"
    "PNG - Portable Graphics Network|*.PNG|すべてのファイル (*.*)|*.*";
const char* const PictureOpenErrorText = "ファイルを開くことができませんでした.";

// ------------------------------------------------------------------ window

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setFont(UiFont(QStringLiteral("ＭＳ 明朝"), 15));
    setWindowIcon(ProgramIcon());
    m_preview = new MoviePreview(this);
    m_preview->setObjectName("MoviePreview");
    connect(m_preview, &MoviePreview::movieReady, this, [this] { PaintBox1->update(); });
    m_autoScrollTimer = new QTimer(this);
    m_autoScrollTimer->setObjectName("AutoScrollTimer");
    connect(m_autoScrollTimer, &QTimer::timeout, this, [this] { autoScrollStep(); });
    buildLayout();
    // Larger, never smaller: below its design size the pages' controls
    // would be squeezed over each other.
    setMinimumSize(750, 550);
    resize(750, 550);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    SetProjectView(this);
    SetProjectFileName("");
    OpenDialog2Filter = QString::fromUtf8(PictureFileFilter);
}

TMainForm::~TMainForm() {
    SetProjectView(nullptr);
}

bool TMainForm::FormCreate(BindingReporter& reporter) {
    ProgramDir = ProgramFolder();
    return BindPixmill(ProgramDir, reporter);
}

void TMainForm::SetAboutBox(TAboutBox* box) {
    m_aboutBox = box;
}

// ------------------------------------------------------------------ shared operations

void TMainForm::RebuildList() {
    ListModel->reload();
    // No row is selected after a rebuild, so no page can be edited, except
    // inside the text edit's own rebuild, which selects its row again.
    if (!RebuildingList) setPagesEnabled(nullptr);
    RepaintStage();
}

void TMainForm::SetProjectFileName(const std::string& path) {
    ProjectFileName = path;
    projectFileNameChanged();
}

void TMainForm::projectFileNameChanged() {
    const QString name = ProjectFileName.empty()
                             ? QStringLiteral("noname.fmo")
                             : QFileInfo(QFile::decodeName(ProjectFileName.c_str())).fileName();
    // " *" while the project differs from its last save or open.
    setWindowTitle(QString::fromUtf8(MainFormTitle) + QStringLiteral(" - [") + name +
                   QStringLiteral("]") + (IsModified() ? QStringLiteral(" *") : QString()));
}

void TMainForm::projectLoaded() {
    showSettingsFromStage();
    RebuildList();
    projectReplaced();
}

void TMainForm::showError(std::string_view utf8Text) {
    ShowStopMessage(QString::fromUtf8(utf8Text.data(), static_cast<qsizetype>(utf8Text.size())));
}

void TMainForm::showLoadError(const std::string& path, const ProjectLoadProblem& problem) {
    // The fixed text, and under it which file and why (the reader's
    // sentence, with the byte where it found the damage).
    MessageRequest request;
    request.title = QGuiApplication::applicationDisplayName();
    request.text = QString::fromUtf8(ProjectOpenErrorText);
    request.informativeText = QFile::decodeName(path.c_str());
    if (!problem.reason.empty())
        request.informativeText += u'\n' + QString::fromStdString(problem.reason);
    CurrentModals().message(this, request);
}

void TMainForm::ShowStopMessage(const QString& text) {
    ::ShowStopMessage(this, QGuiApplication::applicationDisplayName(), text);
}

void TMainForm::showSettingsFromStage() {
    WidthEd->setValue(Stage.width());
    HeightEd->setValue(Stage.height());
    BpSEd->setValue(Stage.framesPerSecond());
    {
        const QSignalBlocker block(ColorEd);
        ColorEd->SetColorValue(Stage.backgroundColor());
    }
    RepeatCheck->setChecked(Stage.repeat());
    CreateHTMLCheck->setChecked(Stage.createHtml());
    AutoLoadFlashCheck->setChecked(Stage.showAfterSaving());
    UpdateStageSize();
}

void TMainForm::SelectRow(int row) {
    QItemSelectionModel* selection = ListView1->selectionModel();
    if (row < 0 || row >= ListModel->rowCount()) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = ListModel->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ListView1->scrollTo(index);
}

int TMainForm::SelectedRow() const {
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TMainForm::RepaintStage() {
    // Every change to the project ends in a repaint of the stage.
    noteProjectChange();
    refreshRectEditors();
    PaintBox1->update();
}

void TMainForm::UpdateStageSize() {
    PaintBox1->setFixedSize(Stage.width() * m_zoom / 100, Stage.height() * m_zoom / 100);
}

void TMainForm::showRefusal(const QString& text) {
    StatusLine->setText(text);
    StatusLine->setToolTip(text);
}

// ------------------------------------------------------------------ commands

void TMainForm::NewBtnClick() {
    ClearObjekts();
    RebuildList();
    SetProjectFileName("");
    projectReplaced();
}

std::string TMainForm::projectPathFromDialog(const QString& dialogName,
                                             FileDialogRequest::Mode mode) {
    FileDialogRequest request;
    request.mode = mode;
    request.name = dialogName;
    request.filter = QString::fromUtf8(ProjectFileFilter);
    request.defaultSuffix = QStringLiteral("fmo");
    if (mode == FileDialogRequest::Save && !ProjectFileName.empty())
        request.fileName = QFile::decodeName(ProjectFileName.c_str());
    const QString path = ChooseFile(this, request);
    return path.isEmpty() ? std::string() : QFile::encodeName(path).toStdString();
}

bool TMainForm::OpenProjectFile(const QString& path) {
    return LoadProject(QFile::encodeName(path).toStdString());
}

void TMainForm::OpenBtnClick() {
    const std::string path = projectPathFromDialog("OpenDialog1", FileDialogRequest::Open);
    if (!path.empty()) LoadProject(path);
}

void TMainForm::SaveBtnClick() {
    if (ProjectFileName.empty())
        SaveAsBtnClick();
    else if (SaveProject(ProjectFileName))
        projectSaved();
}

void TMainForm::SaveAsBtnClick() {
    const std::string path = projectPathFromDialog("SaveDialog2", FileDialogRequest::Save);
    if (!path.empty() && SaveProject(path)) projectSaved();
}

void TMainForm::NewObjBtnClick() {
    NeuObjektMenu->popup(NewObjBtn->mapToGlobal(NewObjBtn->rect().bottomLeft()));
}

void TMainForm::addElement(int32_t kind, const DibRecord* picture) {
    AddObjekt(kind, picture);
    m_history->elementsInserted(ObjektList.Count - 1, 1, step::Add);
    RebuildList();
    SelectRow(ListModel->rowCount() - 2);
}

void TMainForm::AddTextObjektClick() {
    addElement(okText, nullptr);
}

void TMainForm::VektorObjekt1Click() {
    addElement(okDrawing, nullptr);
}

void TMainForm::Bild1Click() {
    FileDialogRequest request;
    request.name = QStringLiteral("OpenDialog2");
    request.filter = OpenDialog2Filter;
    const QString path = ChooseFile(this, request);
    if (path.isEmpty()) return;
    DibRecord picture{};
    picture.Bits = nullptr;
    if (Pixmill.OpenDib) Pixmill.OpenDib(&picture, QFile::encodeName(path).constData(), 0, nullptr);
    if (picture.Bits) ConvertDibTo24(picture, 24);
    // A picture the conversion could not bring to 24 bits is refused as well:
    // every picture element holds 24-bit pixels.
    if (!picture.Bits || DibBitCount(picture) != 24) {
        if (Pixmill.deldib) Pixmill.deldib(&picture);
        ShowStopMessage(QString::fromUtf8(PictureOpenErrorText));
        return;
    }
    addElement(okPicture, &picture);
}

void TMainForm::DellObBtnClick() {
    const int row = SelectedRow();
    if (row >= 0) m_history->removeElement(RowObjekt(row));
    RebuildList();
}

void TMainForm::MoveUpBtnClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    const int i = RowObjekt(row);
    if (i <= 0) return;
    m_history->moveElement(i, -1);
    RebuildList();
    SelectRow(2 * i - 2);
}

void TMainForm::MoveDownBtnClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    const int i = RowObjekt(row);
    if (i >= ObjektList.Count - 1) return;
    m_history->moveElement(i, +1);
    RebuildList();
    SelectRow(2 * i + 2);
}

void TMainForm::wwwBtnClick() {
    OpenOnDesktop(this, MakerWebAddress);
}

void TMainForm::BitBtn1Click() {
    if (!m_aboutBox) m_aboutBox = new TAboutBox(this);
    CurrentModals().runDialog(*m_aboutBox);
}
