// What the window adds around the editing commands: the undo history with
// its buttons and the modified mark in the caption, the recovery copy of
// unsaved work, the keys, the clipboard, drops onto the window and the
// stage's zoom.

#include "app/imaging/PixmillBinding.h"
#include "app/widgets/Modals.h"
#include "compiler/PictureExport.h"
#include "editor/clipboard/ElementMime.h"
#include "editor/model/MainUnit.h"
#include "editor/recovery/RecoveryStore.h"
#include "editor/undo/ProjectHistory.h"
#include "editor/window/ElementListModel.h"
#include "editor/window/TMainForm.h"
#include "editor/window/TStagePaintBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <array>

const char* const RecoveryQuestionText = "保存されていない作業があります。復元しますか？";

namespace {

// A change is copied for recovery this long after it was made (at most):
// later changes within the wait ride along with the same copy.
constexpr int RecoveryDelayMs = 3000;

constexpr std::array<int, 11> ZoomSteps = {25, 33, 50, 67, 100, 150, 200, 300, 400, 600, 800};

QToolButton* makeHistoryButton(const char* name, QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    return button;
}

// Reads a picture file as "ピクチャ" does: 24 bits per pixel or nothing.
bool readPicture(const QString& path, DibRecord& picture) {
    picture = DibRecord{};
    if (Pixmill.OpenDib) Pixmill.OpenDib(&picture, QFile::encodeName(path).constData(), 0, nullptr);
    if (picture.Bits) ConvertDibTo24(picture, 24);
    if (picture.Bits && DibBitCount(picture) == 24) return true;
    if (Pixmill.deldib) Pixmill.deldib(&picture);
    picture = DibRecord{};
    return false;
}

} // namespace

// ------------------------------------------------------------------ set-up

void TMainForm::setupEditing(QHBoxLayout* toolBar) {
    m_recovery = std::make_unique<RecoveryStore>(RecoveryStore::DefaultFolder());
    QUndoStack& stack = m_history->stack();

    auto makeAction = [this](const char* name, const QString& text,
                             const QList<QKeySequence>& keys) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    UndoAction = makeAction("UndoAction", QStringLiteral("元に戻す"), {QKeySequence::Undo});
    RedoAction = makeAction(
        "RedoAction", QStringLiteral("やり直し"),
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    UndoAction->setEnabled(false);
    RedoAction->setEnabled(false);
    connect(UndoAction, &QAction::triggered, this, [this] { UndoBtnClick(); });
    connect(RedoAction, &QAction::triggered, this, [this] { RedoBtnClick(); });
    connect(&stack, &QUndoStack::canUndoChanged, UndoAction, &QAction::setEnabled);
    connect(&stack, &QUndoStack::canRedoChanged, RedoAction, &QAction::setEnabled);
    connect(&stack, &QUndoStack::undoTextChanged, this, [this](const QString& text) {
        UndoAction->setToolTip(QStringLiteral("元に戻す: ") + text);
    });
    connect(&stack, &QUndoStack::redoTextChanged, this, [this](const QString& text) {
        RedoAction->setToolTip(QStringLiteral("やり直し: ") + text);
    });
    UndoAction->setToolTip(QStringLiteral("元に戻す"));
    RedoAction->setToolTip(QStringLiteral("やり直し"));
    UndoBtn = makeHistoryButton("UndoBtn", UndoAction, this);
    RedoBtn = makeHistoryButton("RedoBtn", RedoAction, this);
    // After the four file buttons, before the stretch at the bar's end.
    toolBar->insertWidget(toolBar->count() - 1, UndoBtn);
    toolBar->insertWidget(toolBar->count() - 1, RedoBtn);

    connect(&stack, &QUndoStack::cleanChanged, this, [this] { projectFileNameChanged(); });
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setSingleShot(true);
    m_recoveryTimer->setInterval(RecoveryDelayMs);
    connect(m_recoveryTimer, &QTimer::timeout, this, [this] { writeRecoveryCopy(); });
    connect(&stack, &QUndoStack::indexChanged, this, [this] {
        if (!m_recoveryTimer->isActive()) m_recoveryTimer->start();
    });

    auto addCommand = [&](const char* name, const QList<QKeySequence>& keys, auto handler) {
        QAction* action = makeAction(name, QString(), keys);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    addCommand("DeleteAction", {QKeySequence::Delete}, [this] { DellObBtnClick(); });
    addCommand("DuplicateAction", {QKeySequence(Qt::CTRL | Qt::Key_D)}, [this] { duplicate(); });
    addCommand("CopyAction", {QKeySequence::Copy}, [this] { copyElement(false); });
    addCommand("CutAction", {QKeySequence::Cut}, [this] { copyElement(true); });
    addCommand("PasteAction", {QKeySequence::Paste}, [this] { pasteElements(); });
    addCommand("ZoomInAction", {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)},
               [this] { zoomStep(+1); });
    addCommand("ZoomOutAction", {QKeySequence::ZoomOut}, [this] { zoomStep(-1); });
    addCommand("ZoomResetAction", {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { setZoom(100); });
    addCommand("CancelDragAction", {QKeySequence(Qt::Key_Escape)}, [this] { cancelDrag(); });

    // The project's undo, not a text box's own, answers Ctrl+Z and Ctrl+Y
    // everywhere in the window; the boxes keep their other editing keys.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->installEventFilter(this);
    ListView1->installEventFilter(this);
    PaintBox1->installEventFilter(this);
    PaintBox1->setFocusPolicy(Qt::ClickFocus);
    ScrollBox1->viewport()->installEventFilter(this);
    setAcceptDrops(true);
}

// ------------------------------------------------------------------ history

void TMainForm::UndoBtnClick() {
    cancelDrag();
    m_history->stack().undo();
}

void TMainForm::RedoBtnClick() {
    cancelDrag();
    m_history->stack().redo();
}

void TMainForm::historyStepShown(const Shown& shown) {
    if (shown.settingsChanged) {
        // The selection stays; only the settings page and the stage change.
        showSettingsFromStage();
    } else if (shown.listChanged || shown.row < 0) {
        RebuildList();
        // Selecting the row reloads the editors under FillingEditors.
        SelectRow(shown.row);
    } else if (shown.row != SelectedRow()) {
        SelectRow(shown.row);
    } else {
        ListView1Click(); // the same row: only its editors are reloaded
    }
    RepaintStage();
}

bool TMainForm::IsModified() const {
    return m_history && m_history->isModified();
}

void TMainForm::projectReplaced() {
    cancelDrag();
    m_history->reset();
    m_recoveryTimer->stop();
    m_recovery->discard();
    m_recovery->setProjectPath(ProjectFileName);
    projectFileNameChanged();
}

void TMainForm::projectSaved() {
    m_history->markSaved();
    m_recoveryTimer->stop();
    m_recovery->discard();
    m_recovery->setProjectPath(ProjectFileName);
    projectFileNameChanged();
}

// ------------------------------------------------------------------ recovery

void TMainForm::writeRecoveryCopy() {
    if (IsModified())
        m_recovery->save(TakeProjectSnapshot());
    else
        m_recovery->discard();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Closing never asks: unsaved work is kept for the next start instead.
    cancelDrag();
    m_recoveryTimer->stop();
    writeRecoveryCopy();
    m_recovery->flush();
    event->accept();
}

QString TMainForm::RecoveryFolder() const {
    return QFile::decodeName(m_recovery->folder().c_str());
}

bool TMainForm::OfferRecovery(const QString& projectPath) {
    const std::string path = QFile::encodeName(projectPath).toStdString();
    const auto orphan = m_recovery->findOrphan(path);
    if (!orphan) return false;
    const QString name =
        path.empty() ? QStringLiteral("noname.fmo") : QFileInfo(projectPath).fileName();
    const QString when = QDateTime::fromSecsSinceEpoch(orphan->modified)
                             .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    MessageRequest question;
    question.icon = QMessageBox::Question;
    question.title = QGuiApplication::applicationDisplayName();
    question.text = QString::fromUtf8(RecoveryQuestionText) + QStringLiteral("\n") + name +
                    QStringLiteral("（") + when + QStringLiteral("）");
    question.buttons = QMessageBox::Yes | QMessageBox::No;
    if (CurrentModals().message(this, question) != QMessageBox::Yes) {
        m_recovery->decline(*orphan);
        return false;
    }
    const std::string bytes = m_recovery->readOrphan(*orphan);
    // Loaded under the project's own name, so that saving saves over it.
    if (!LoadProjectBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          path)) {
        m_recovery->decline(*orphan);
        return false;
    }
    m_recovery->setProjectPath(path);
    m_recovery->adopt(*orphan);
    m_history->stack().resetClean();
    projectFileNameChanged();
    return true;
}

// ------------------------------------------------------------------ keys

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Leave Ctrl+Z and Ctrl+Y to the window's history.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier))
            return true;
    }
    if (event->type() == QEvent::KeyPress && (watched == ListView1 || watched == PaintBox1)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int step = key->modifiers() & Qt::ShiftModifier ? 10 : 1;
        int dx = 0, dy = 0;
        switch (key->key()) {
        case Qt::Key_Left:
            dx = -step;
            break;
        case Qt::Key_Right:
            dx = step;
            break;
        case Qt::Key_Up:
            dy = -step;
            break;
        case Qt::Key_Down:
            dy = step;
            break;
        default:
            break;
        }
        if ((dx || dy) && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            nudge(dx, dy);
            return true;
        }
    }
    if (event->type() == QEvent::Wheel &&
        (watched == PaintBox1 || watched == ScrollBox1->viewport())) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() != 0) zoomStep(wheel->angleDelta().y() > 0 ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::nudge(int dx, int dy) {
    const int row = SelectedRow();
    if (row < 0 || RowObjekt(row) >= ObjektList.Count || m_stageDrag.Dragging) return;
    ObjektList.Select(RowObjekt(row));
    const ObjektState s = RowState(*CurObjekt, row);
    m_history->setStateRect(row, s.Left + dx, s.Top + dy, s.Right + dx, s.Bottom + dy, step::Move,
                            HistoryMerge::Nudge);
    RepaintStage();
}

void TMainForm::cancelDrag() {
    if (!m_stageDrag.Dragging) return;
    // The rectangle goes back to where the drag found it.
    if (m_dragRow >= 0 && RowObjekt(m_dragRow) < ObjektList.Count) {
        ObjektList.Select(RowObjekt(m_dragRow));
        RowState(*CurObjekt, m_dragRow) = m_dragBefore;
    }
    m_stageDrag.Dragging = 0;
    m_dragRow = -1;
    RepaintStage();
}

// ------------------------------------------------------------------ clipboard

void TMainForm::copyElement(bool cut) {
    const int row = SelectedRow();
    if (row < 0 || RowObjekt(row) >= ObjektList.Count) return;
    ObjektList.Select(RowObjekt(row));
    QGuiApplication::clipboard()->setMimeData(ElementsToMime({CurObjekt}).release());
    if (!cut) return;
    m_history->removeElement(RowObjekt(row), step::Cut);
    RebuildList();
}

void TMainForm::insertElements(std::vector<Objekt> elements, const char* name) {
    if (elements.empty()) return;
    // Right after the selected element, or at the end of the list.
    const int row = SelectedRow();
    const int32_t at = row >= 0 ? std::min(RowObjekt(row) + 1, ObjektList.Count) : ObjektList.Count;
    m_history->insertElements(at, std::move(elements), name);
    RebuildList();
    SelectRow(2 * at);
}

void TMainForm::pasteElements() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime) return;
    insertElements(ElementsFromMime(*mime), step::Paste);
}

void TMainForm::duplicate() {
    const int row = SelectedRow();
    if (row < 0 || RowObjekt(row) >= ObjektList.Count) return;
    ObjektList.Select(RowObjekt(row));
    insertElements({CopyObjekt(*CurObjekt)}, step::Duplicate);
}

// ------------------------------------------------------------------ drops

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    QStringList pictures;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).suffix().compare(QStringLiteral("fmo"), Qt::CaseInsensitive) == 0) {
            // A project replaces the open one, as the open command does.
            event->acceptProposedAction();
            OpenProjectFile(path);
            return;
        }
        pictures << path;
    }
    if (pictures.isEmpty()) return;
    event->acceptProposedAction();
    const QPoint at = PaintBox1->mapFrom(this, event->position().toPoint());
    const int32_t first = ObjektList.Count;
    for (const QString& path : pictures) {
        DibRecord picture;
        if (!readPicture(path, picture)) {
            ShowStopMessage(QString::fromUtf8(PictureOpenErrorText));
            continue;
        }
        // Placed as "ピクチャ" places it; the first one where it was dropped.
        Objekt* o = AddObjekt(okPicture, &picture);
        if (ObjektList.Count - 1 == first && PaintBox1->rect().contains(at)) {
            const int32_t x = toStage(at.x()), y = toStage(at.y());
            o->Start.Right += x - o->Start.Left;
            o->Start.Bottom += y - o->Start.Top;
            o->Start.Left = x;
            o->Start.Top = y;
        }
    }
    if (ObjektList.Count == first) return;
    m_history->elementsInserted(first, ObjektList.Count - first, step::Add);
    RebuildList();
    SelectRow(2 * first);
}

// ------------------------------------------------------------------ zoom

int TMainForm::Zoom() const {
    return m_zoom;
}

void TMainForm::setZoom(int percent) {
    percent = std::clamp(percent, ZoomSteps.front(), ZoomSteps.back());
    if (percent == m_zoom) return;
    m_zoom = percent;
    UpdateStageSize();
    RepaintStage();
}

void TMainForm::zoomStep(int direction) {
    if (direction > 0) {
        const auto it = std::upper_bound(ZoomSteps.begin(), ZoomSteps.end(), m_zoom);
        setZoom(it == ZoomSteps.end() ? ZoomSteps.back() : *it);
    } else {
        const auto it = std::lower_bound(ZoomSteps.begin(), ZoomSteps.end(), m_zoom);
        setZoom(it == ZoomSteps.begin() ? ZoomSteps.front() : *(it - 1));
    }
}

int TMainForm::toStage(int widgetCoordinate) const {
    // Floor, so that every screen pixel of a stage pixel maps to it.
    const int scaled = widgetCoordinate * 100;
    return scaled >= 0 ? scaled / m_zoom : -((-scaled + m_zoom - 1) / m_zoom);
}
