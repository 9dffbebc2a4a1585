#pragma once
// The project's undo history: every change to the project is one small
// command on a QUndoStack, holding only what it needs to undo and redo
// itself. Pictures are never copied per step: an element taken out of the
// list (deleted, or added and undone) is held by its command as it was.
//
// Pushing applies the change without telling the window: the editing handler
// that pushes shows its change itself, as it always did. Undo and redo tell
// the window through HistoryView which row to select, so that it reloads the
// editors (under FillingEditors, which writes nothing) and repaints.

#include "editor/model/Objekt.h"
#include "editor/model/StageSettings.h"

#include <QString>
#include <QUndoStack>

#include <cstdint>
#include <string>
#include <vector>

// The window's side of the history.
class HistoryView {
public:
    virtual ~HistoryView() = default;
    // What an undo or a redo changed besides element values.
    struct Shown {
        int32_t row = -1;         // the row to select (and reload the editors of); -1: none
        bool listChanged = false; // elements came, went, moved or changed their captions
        bool settingsChanged = false;
    };
    // After an undo or a redo: the list and the stage show the project again,
    // the row is selected and its editors reloaded; a settings step also
    // refills the settings page.
    virtual void historyStepShown(const Shown& shown) = 0;
};

// The fields of one element that are plain values (the strings aside).
struct ElementValues {
    ObjektState Start;
    ObjektState End;
    int32_t DrawKind;
    uint8_t DeleteAtEnd;

    static ElementValues Of(const Objekt& o);
    void applyTo(Objekt& o) const;
    bool operator==(const ElementValues& other) const;
};

// Which edits merge into one step while the same field of the same state is
// being edited (typing, a slider held down, a burst of arrow keys).
enum class HistoryMerge : int {
    None = -1,
    Text = 1,
    FontSize,
    Rotation,
    Time,
    Transparency,
    Nudge, // arrow keys: one step per burst of presses
    Rectangle,
    RectX, // the position and size boxes, each its own field
    RectY,
    RectWidth,
    RectHeight,
    StageWidth,
    StageHeight,
    StageFps,
};

// The step names the undo and redo buttons' hints show.
namespace step {
inline const char* const Text = "テキストの変更";
inline const char* const Font = "フォントの変更";
inline const char* const FontSize = "サイズの変更";
inline const char* const Color = "色の変更";
inline const char* const Rotation = "回転の変更";
inline const char* const Time = "時の変更";
inline const char* const Transparency = "透明の変更";
inline const char* const DrawKind = "種類の変更";
inline const char* const DeleteAtEnd = "「終わり後要素を削除」の変更";
inline const char* const Move = "移動";
inline const char* const Resize = "大きさの変更";
inline const char* const Rectangle = "位置と大きさの変更";
inline const char* const Add = "要素の追加";
inline const char* const Delete = "要素の削除";
inline const char* const Cut = "切り取り";
inline const char* const Paste = "貼り付け";
inline const char* const Duplicate = "複製";
inline const char* const MoveUp = "上へ移動";
inline const char* const MoveDown = "下へ移動";
inline const char* const Settings = "設定の変更";
} // namespace step

class ProjectHistory {
public:
    explicit ProjectHistory(HistoryView* view);
    ProjectHistory(const ProjectHistory&) = delete;
    ProjectHistory& operator=(const ProjectHistory&) = delete;

    QUndoStack& stack() { return m_stack; }
    // New and Open start a fresh, clean history; a save marks the clean state.
    void reset() { m_stack.clear(); }
    void markSaved() { m_stack.setClean(); }
    bool isModified() const { return !m_stack.isClean(); }

    // ---- entry points, each one step (or merged into the last one)

    // Element `element` now should have `after` as its plain values; the row
    // shown on undo and redo is `row`. Nothing is pushed when nothing changes.
    void setValues(int32_t element, int32_t row, const ElementValues& after, const char* name,
                   HistoryMerge merge = HistoryMerge::None);
    // The state that `row` edits gets `after` (colour, size, rotation, ...).
    void setState(int32_t row, const ObjektState& after, const char* name,
                  HistoryMerge merge = HistoryMerge::None);
    // The state that `row` edits gets the rectangle (l, t)-(r, b): drags,
    // arrow keys and the position and size boxes all come here.
    void setStateRect(int32_t row, int32_t l, int32_t t, int32_t r, int32_t b,
                      const char* name = step::Rectangle, HistoryMerge merge = HistoryMerge::None);
    // A change already made in place (a stage drag writes as the mouse
    // moves): records `before` as what undo brings back.
    void stateChanged(int32_t row, const ObjektState& before, const char* name,
                      HistoryMerge merge = HistoryMerge::None);

    // The element's text or font face (Shift-JIS bytes).
    void setText(int32_t row, const std::string& text);
    void setFontName(int32_t row, const std::string& face);

    // Elements [first, first + count) were just put into the list (added,
    // pasted, dropped, duplicated); `row` is selected on redo.
    void elementsInserted(int32_t first, int32_t count, const char* name);
    // Puts `elements` (taken over) into the list at `first`.
    void insertElements(int32_t first, std::vector<Objekt> elements, const char* name);
    // Takes element `index` out of the list; it stays in the history.
    void removeElement(int32_t index, const char* name = step::Delete);
    // Moves element `index` one place up (-1) or down (+1).
    void moveElement(int32_t index, int delta);

    // The saved stage settings (size, frame rate, background, repeat).
    void setSettings(const StageSettings& after, HistoryMerge merge = HistoryMerge::None);

    // For the commands.
    void shown(const HistoryView::Shown& what) {
        if (m_view) m_view->historyStepShown(what);
    }

private:
    QUndoStack m_stack;
    HistoryView* m_view;
};
