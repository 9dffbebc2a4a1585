#pragma once
// The editor's main window: the element list with its two rows per element,
// the three property pages, the stage view, the stage settings and the
// save-movie page, and every editing command. Controls are public members
// named as the window's layout names them (each control's objectName is its
// member name), so that the stage view and the movie commands can reach them.

#include "editor/model/Objekt.h"
#include "editor/model/ProjectFile.h"

#include <QAbstractTableModel>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMessageBox;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTableView;
class QToolButton;
class BindingReporter;
class TAboutBox;
class TMainForm;
class TTintelColorComboBox;

// The window caption's title; SetProjectFileName appends " - [name]".
extern const char* const MainFormTitle; // "Tarvelo Movi-Loomster 1.0"
// The page wwwBtn opens (and shows as its caption).
extern const char* const MakerWebAddress;
// Filters in the "description|patterns|description|patterns" form.
extern const char* const ProjectFileFilter; // "Movi-Loomsterのファイル (*.fmo)|*.fmo"
extern const char* const PictureFileFilter; // every picture format the library reads
extern const char* const PictureOpenErrorText; // "ファイルを開くことができませんでした."

// Shift-JIS (code page 932) bytes as shown in the window. Bytes that are not
// valid code page 932 show as U+FFFD, never as something that could be saved.
QString FromCp932(const char* cp932);
// A window text as Shift-JIS; nullopt when code page 932 cannot hold it.
std::optional<std::string> ToCp932(const QString& text);
// The first character of `text` that code page 932 cannot hold (empty when none).
QString FirstUnstorableCharacter(const QString& text);
// "a|b|c|d" filters as the file dialog's name filters ("a (b)", "c (d)").
QStringList NameFiltersFromFilter(const QString& filter);

// A file dialog the window wants shown.
struct FileDialogRequest {
    enum Mode { Open, Save };
    Mode mode = Open;
    QString name;   // which dialog: "OpenDialog1", "SaveDialog2", "OpenDialog2", "SaveDialog1"
    QString filter; // "description|patterns|..." as above
    QString defaultSuffix; // added when the chosen name has no extension ("fmo")
    QString fileName;      // the name the dialog starts with
};

// Every modal thing the window shows goes through these seams, so that tests
// never block and can check what would have been shown.
class ModalSeams {
public:
    // Shows a file dialog; returns the chosen path, empty when cancelled.
    using FileDialogFn = std::function<QString(QWidget* owner, const FileDialogRequest&)>;
    // Runs a prepared dialog or message box modally; returns its result.
    using DialogFn = std::function<int(QDialog&)>;

    static void SetFileDialog(FileDialogFn fn); // empty restores the real dialog
    static void SetDialogRunner(DialogFn fn);   // empty restores QDialog::exec
    static QString RunFileDialog(QWidget* owner, const FileDialogRequest& request);
    static int RunDialog(QDialog& dialog);
};

// The list view's rows, read straight from ObjektList: two per element.
class ElementListModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Takes the element list as it is now; no row stays selected.
    void reload();
    // The caption of list row `row` (start rows at even, end rows at odd indexes).
    static QString RowCaption(int row);
};

// The stage surface inside ScrollBox1: forwards paint and mouse events to the
// window's stage handlers and lets them set its cursor.
class TStagePaintBox final : public QWidget {
public:
    explicit TStagePaintBox(TMainForm& form, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TMainForm& m_form;
};

class TMainForm final : public QWidget, private ProjectView {
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Records the program folder, sets the picture filter and binds the image
    // library; returns whether the library is usable. Failures are reported
    // through `reporter`.
    bool FormCreate(BindingReporter& reporter);
    // The about box BitBtn1 shows; made on first use when none is given.
    void SetAboutBox(TAboutBox* box);

    // ---- shared operations (the stage view and the commands use them too)
    void RebuildList();
    void SetProjectFileName(const std::string& path);
    void SelectRow(int row); // -1 clears the selection
    int SelectedRow() const; // -1 when no row is selected
    void RepaintStage();
    // Sets the stage surface to the stage size (after a settings change).
    void UpdateStageSize();
    // Opens a project as the open command does after its dialog.
    bool OpenProjectFile(const QString& path);
    // Shows a message box with a stop icon and an OK button.
    void ShowStopMessage(const QString& text);

    // ---- handlers
    void NewBtnClick();
    void OpenBtnClick();
    void SaveBtnClick();
    void SaveAsBtnClick();
    void NewObjBtnClick();
    void AddTextObjektClick();
    void VektorObjekt1Click();
    void Bild1Click();
    void DellObBtnClick();
    void MoveUpBtnClick();
    void MoveDownBtnClick();
    void ListView1Click();
    void ListView1Change();
    void OnlyActualCheckClick();
    void NoArrowsCheckClick();
    void wwwBtnClick();
    void BitBtn1Click();
    void TextEdChange();
    void FontEdChange();
    void FontSizeChange();
    void TFarbeEdChange();
    void TFarbeEd2Change();
    void RotEdChange();
    void RotEd2Change();
    void RotEd3Change();
    void TimeEdChange();
    void TimeEd2Change();
    void TimeEd3Change();
    void TransEdChange();
    void TransEd2Change();
    void ObjectKindBoxChange();
    void DelObCheckClick();
    void DelObCheck2Click();
    void DelObCheck3Click();
    // The stage view (TMainFormStage.cpp).
    void PaintBox1Paint(QPainter& painter);
    void PaintBox1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
    void PaintBox1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void PaintBox1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
    // The movie commands (TMainFormMovie.cpp).
    void CreateFlashBtnClick();
    void PlayBtnClick();

    // ---- commands with their shortcuts
    QAction* NewAction;    // Ctrl+N
    QAction* OpenAction;   // Ctrl+O
    QAction* SaveAction;   // Ctrl+S
    QAction* SaveAsAction; // Ctrl+Shift+S
    QAction* PlayAction;   // F5

    // ---- controls
    QToolButton* NewBtn;
    QToolButton* OpenBtn;
    QToolButton* SaveBtn;
    QToolButton* SaveAsBtn;
    QPushButton* wwwBtn;
    QPushButton* BitBtn1;
    QLabel* StatusLine; // why an input was refused
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QPushButton* NewObjBtn;
    QTableView* ListView1;
    ElementListModel* ListModel;
    QToolButton* DellObBtn;
    QToolButton* MoveUpBtn;
    QToolButton* MoveDownBtn;
    QToolButton* PlayBtn;
    QCheckBox* OnlyActualCheck;
    QCheckBox* NoArrowsCheck;
    QScrollArea* ScrollBox1;
    TStagePaintBox* PaintBox1;
    QTabWidget* PageControl2;
    QWidget* TabSheet4;
    QWidget* TabSheet5;
    QWidget* TabSheet6;
    QLineEdit* TextEd;
    QComboBox* FontEd;
    TTintelColorComboBox* TFarbeEd;
    QComboBox* FontSize;
    QDoubleSpinBox* RotEd;
    QSpinBox* TimeEd;
    QSlider* TransEd;
    QCheckBox* DelObCheck;
    QComboBox* ObjectKindBox;
    TTintelColorComboBox* TFarbeEd2;
    QSlider* TransEd2;
    QDoubleSpinBox* RotEd2;
    QSpinBox* TimeEd2;
    QCheckBox* DelObCheck2;
    QDoubleSpinBox* RotEd3;
    QSpinBox* TimeEd3;
    QCheckBox* DelObCheck3;
    QSpinBox* WidthEd;
    QSpinBox* HeightEd;
    QSpinBox* BpSEd;
    TTintelColorComboBox* ColorEd;
    QPushButton* CreateFlashBtn;
    QCheckBox* AutoLoadFlashCheck;
    QCheckBox* CreateHTMLCheck;
    QCheckBox* RepeatCheck;
    QPlainTextEdit* Memo1;
    QMenu* NeuObjektMenu;
    QAction* AddTextObjekt;
    QAction* VektorObjekt1;
    QAction* Bild1;

    // The filter of the open-picture dialog (set by FormCreate).
    QString OpenDialog2Filter;
    // The movie dialog's current file name (the movie commands keep it).
    QString SaveDialog1FileName;

private:
    // ProjectView
    void showError(std::string_view utf8Text) override;
    void projectFileNameChanged() override;
    void projectLoaded() override;

    void buildLayout();
    QWidget* buildElementsPage();
    QWidget* buildSettingsPage();
    QWidget* buildMoviePage();
    QWidget* buildTextPage();
    QWidget* buildDrawingPage();
    QWidget* buildPicturePage();
    void fillFontList();
    void addElement(int32_t kind, const DibRecord* picture);
    // The element and state of the selected row, loaded into CurObjekt;
    // null when no row is selected or the editors are being filled.
    ObjektState* editedState();
    void setPagesEnabled(QWidget* enabledPage);
    void showSettingsFromStage();
    void showRefusal(const QString& text);
    std::string projectPathFromDialog(const QString& dialogName, FileDialogRequest::Mode mode);

    TAboutBox* m_aboutBox = nullptr;
    QString m_lastStorableText; // what TextEd falls back to when an input is refused
};
