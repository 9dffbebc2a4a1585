#pragma once
// The editor's main window: the element list with its two rows per element,
// the three property pages, the stage view, the stage settings and the
// save-movie page, and every editing command. Each control's objectName is
// the name its member has here; tests find the controls by that name.
//
// The window's parts live in separate files: the layout (TMainFormLayout.cpp),
// the file and element commands (TMainForm.cpp), the property pages
// (TMainFormProperties.cpp), the stage view (TMainFormStage.cpp) and the
// movie commands (TMainFormMovie.cpp).

#include "app/widgets/Modals.h"
#include "editor/model/Objekt.h"
#include "editor/model/ProjectFile.h"
#include "editor/stage/StageDrag.h"
#include "editor/undo/ProjectHistory.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QHBoxLayout;
class QTimer;
class RecoveryStore;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMenu;
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
class ElementListModel;
class MoviePreview;
namespace player {
class PlayerRouting;
}
class QTimer;
class TAboutBox;
class TStagePaintBox;
class TTintelColorComboBox;

// The window caption's title; SetProjectFileName appends " - [name]".
extern const char* const MainFormTitle; // "Tarvelo Movi-Loomster 1.0"
// The page wwwBtn opens (and shows as its caption).
extern const char* const MakerWebAddress;
// Filters in the "description|patterns|description|patterns" form.
extern const char* const ProjectFileFilter; // "Movi-Loomsterのファイル (*.fmo)|*.fmo"
extern const char* const PictureFileFilter; // every picture format the library reads
extern const char* const PictureOpenErrorText; // "ファイルを開くことができませんでした."
// What the window asks at start when unsaved work of an ended editor is found.
extern const char* const RecoveryQuestionText; // "保存されていない作業があります。復元しますか？"

class TMainForm final : public QWidget, private ProjectView, private HistoryView {
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Records the program folder and binds the image library; returns whether the library is
    // usable. Failures are reported through `reporter`.
    bool FormCreate(BindingReporter& reporter);
    // The about box BitBtn1 shows; made on first use when none is given.
    void SetAboutBox(TAboutBox* box);

    // ---- shared operations
    void RebuildList(); // reloads the list (no row selected) and repaints the stage
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
    // Whether the project differs from its last save or open (" *" in the caption).
    bool IsModified() const;
    // At start: offers the copy of unsaved work that an ended editor left
    // for `projectPath` (empty: an unnamed project), asking first. Returns
    // whether a copy was loaded.
    bool OfferRecovery(const QString& projectPath);
    // Where the copies of unsaved work are kept.
    QString RecoveryFolder() const;
    // The stage's zoom in percent (25 to 800).
    int Zoom() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TStagePaintBox;

    // ProjectView
    void showError(std::string_view utf8Text) override;
    void showLoadError(const std::string& path, const ProjectLoadProblem& problem) override;
    void projectFileNameChanged() override;
    void projectLoaded() override;

    // ---- layout (TMainFormLayout.cpp)
    void buildLayout();
    QWidget* buildElementsPage();
    QWidget* buildSettingsPage();
    QWidget* buildMoviePage();
    QWidget* buildTextPage();
    QWidget* buildDrawingPage();
    QWidget* buildPicturePage();
    void fillFontList();

    // ---- file and element commands (TMainForm.cpp)
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
    void wwwBtnClick();
    void BitBtn1Click();
    void addElement(int32_t kind, const DibRecord* picture);
    std::string projectPathFromDialog(const QString& dialogName, FileDialogRequest::Mode mode);
    void showSettingsFromStage();
    void showRefusal(const QString& text);

    // ---- the list and the property pages (TMainFormProperties.cpp)
    void ListView1Click();
    void ListView1Change();
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
    // The element and state of the selected row, loaded into CurObjekt;
    // null when no row is selected or the editors are being filled.
    ObjektState* editedState();
    // The edited state of the selected row changed through the history
    // (nothing while the editors are being filled).
    template <typename Change> void editState(const char* name, HistoryMerge merge, Change change);
    template <typename Change> void editValues(const char* name, Change change);

    // ---- history, recovery, keys, clipboard, drops, zoom (TMainFormEditing.cpp)
    void historyStepShown(const Shown& shown) override;
    void setupEditing(QHBoxLayout* toolBar);
    void UndoBtnClick();
    void RedoBtnClick();
    void projectReplaced(); // New and Open: a fresh history
    void projectSaved();
    void writeRecoveryCopy();
    void nudge(int dx, int dy);
    void cancelDrag();
    void copyElement(bool cut);
    void pasteElements();
    void duplicate();
    void insertElements(std::vector<Objekt> elements, const char* name);
    void setZoom(int percent);
    void zoomStep(int direction);
    int toStage(int widgetCoordinate) const;
    void setPagesEnabled(QWidget* enabledPage);

    // ---- the stage view (TMainFormStage.cpp)
    void PaintBox1Paint(QPainter& painter);
    void PaintBox1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
    void PaintBox1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void PaintBox1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
    void PaintBox1MouseLeave();
    void OnlyActualCheckClick();
    void NoArrowsCheckClick();
    StageViewOptions stageOptions() const;
    void applyStageMouse(const StageMouseResult& result);
    // The time slider: "編集" (-1) shows the editing view, a time the movie.
    bool showingMovie() const;
    void TimeSliderChange();
    void showEditingView(); // puts the slider back to "編集"
    // Drops the movie and returns to the editing view when the project
    // differs from the one last seen (any edit, a new or opened project).
    void noteProjectChange();
    void updateTimeRange();
    // Scrolls the stage while a drag holds the pointer past the view's edge.
    void autoScrollStep();
    void updateAutoScroll(const QPoint& viewportPos);
    // The position and size boxes: filled from the selected state, and
    // writing it with the rules of a drag.
    void refreshRectEditors();
    void RectEdChange(QSpinBox* ed);
    void clearPage(QWidget* page);

    // ---- the movie commands (TMainFormMovie.cpp)
    void CreateFlashBtnClick();
    void PlayBtnClick();
    void runMovieCommand(bool preview);
    // Shows what a movie command made: movies and their pages in the
    // built-in player, anything else through the desktop's handler.
    void showMovie(const std::string& path);

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
    QSlider* TimeSlider;      // -1 "編集", else milliseconds
    QToolButton* EditViewBtn; // "編集" at the slider's left end
    QLabel* TimeLabel;
    QSpinBox* RectXEd; // "X", "Y", "幅", "高さ" of the selected state
    QSpinBox* RectYEd;
    QSpinBox* RectWidthEd;
    QSpinBox* RectHeightEd;
    QLabel* MousePosLabel; // the pointer's stage position
    QMenu* NeuObjektMenu;
    QAction* AddTextObjekt;
    QAction* VektorObjekt1;
    QAction* Bild1;

    // The filter of the open-picture dialog (set by the constructor).
    QString OpenDialog2Filter;
    // The movie dialog's current file name (the movie commands keep it).
    QString SaveDialog1FileName;
    std::string m_movieProjectName; // the project SaveDialog1FileName was chosen for
    // The drag on the stage between mouse down and mouse up.
    StageDrag m_stageDrag;
    MoviePreview* m_preview;
    std::unique_ptr<player::PlayerRouting> m_playerRouting;
    uint64_t m_projectFingerprint = 0;
    bool m_fillingRect = false; // the position and size boxes are being filled
    QTimer* m_autoScrollTimer;
    QPoint m_autoScrollPos;     // the pointer in the scroll box's viewport
    int m_dragRow = -1;         // the row a stage drag edits
    ObjektState m_dragBefore{}; // its state when the drag began
    int m_zoom = 100;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QToolButton* UndoBtn = nullptr;
    QToolButton* RedoBtn = nullptr;
    // Made before the layout, whose settings boxes already push steps.
    std::unique_ptr<ProjectHistory> m_history =
        std::make_unique<ProjectHistory>(static_cast<HistoryView*>(this));
    std::unique_ptr<RecoveryStore> m_recovery;
    QTimer* m_recoveryTimer = nullptr;
    TAboutBox* m_aboutBox = nullptr;
    QString m_lastStorableText; // what TextEd falls back to when an input is refused
};
