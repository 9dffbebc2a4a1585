#include "editor/undo/ProjectHistory.h"

#include "editor/model/MainUnit.h"

#include <QUndoCommand>

#include <chrono>
#include <cstring>
#include <utility>

ElementValues ElementValues::Of(const Objekt& o) {
    return {o.Start, o.End, o.DrawKind, o.DeleteAtEnd};
}

void ElementValues::applyTo(Objekt& o) const {
    o.Start = Start;
    o.End = End;
    o.DrawKind = DrawKind;
    o.DeleteAtEnd = DeleteAtEnd;
}

bool ElementValues::operator==(const ElementValues& other) const {
    return std::memcmp(&Start, &other.Start, sizeof Start) == 0 &&
           std::memcmp(&End, &other.End, sizeof End) == 0 && DrawKind == other.DrawKind &&
           DeleteAtEnd == other.DeleteAtEnd;
}

namespace {

// Presses of the arrow keys further apart than this start a new step.
constexpr std::chrono::milliseconds NudgeBurstGap{1000};

Objekt& element(int32_t index) {
    ObjektList.Select(index);
    return *CurObjekt;
}

bool validElement(int32_t index) {
    return index >= 0 && index < ObjektList.Count;
}

// The first redo (inside push) only applies the change: the handler that
// pushed shows it. Later undos and redos also tell the window.
class HistoryCommand : public QUndoCommand {
public:
    HistoryCommand(ProjectHistory& history, const char* name)
        : QUndoCommand(QString::fromUtf8(name)), m_history(history) {}

    void redo() final {
        apply(true);
        if (m_pushed) m_history.shown({rowAfter(true), changesList(), changesSettings()});
        m_pushed = true;
    }
    void undo() final {
        apply(false);
        m_history.shown({rowAfter(false), changesList(), changesSettings()});
    }

protected:
    virtual void apply(bool forward) = 0;
    virtual int32_t rowAfter(bool forward) const = 0;
    virtual bool changesList() const { return true; }
    virtual bool changesSettings() const { return false; }

private:
    ProjectHistory& m_history;
    bool m_pushed = false;
};

class ValuesCommand final : public HistoryCommand {
public:
    ValuesCommand(ProjectHistory& history, const char* name, int32_t index, int32_t row,
                  const ElementValues& before, const ElementValues& after, HistoryMerge merge)
        : HistoryCommand(history, name), m_index(index), m_row(row), m_before(before),
          m_after(after), m_merge(merge), m_last(std::chrono::steady_clock::now()) {}

    int id() const override { return static_cast<int>(m_merge); }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* o = dynamic_cast<const ValuesCommand*>(other);
        if (!o || o->m_index != m_index || o->m_row != m_row || o->m_merge != m_merge) return false;
        if (m_merge == HistoryMerge::Nudge && o->m_last - m_last > NudgeBurstGap) return false;
        m_after = o->m_after;
        m_last = o->m_last;
        setObsolete(m_after == m_before);
        return true;
    }

protected:
    void apply(bool forward) override {
        if (validElement(m_index)) (forward ? m_after : m_before).applyTo(element(m_index));
    }
    int32_t rowAfter(bool) const override { return m_row; }
    bool changesList() const override { return false; }

private:
    int32_t m_index;
    int32_t m_row;
    ElementValues m_before;
    ElementValues m_after;
    HistoryMerge m_merge;
    std::chrono::steady_clock::time_point m_last;
};

class StringCommand final : public HistoryCommand {
public:
    enum Field { TextField, FontField };
    StringCommand(ProjectHistory& history, const char* name, Field field, int32_t row,
                  std::string before, std::string after)
        : HistoryCommand(history, name), m_field(field), m_row(row), m_before(std::move(before)),
          m_after(std::move(after)) {}

    int id() const override {
        return m_field == TextField ? static_cast<int>(HistoryMerge::Text) : -1;
    }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* o = dynamic_cast<const StringCommand*>(other);
        if (!o || o->m_field != m_field || RowObjekt(o->m_row) != RowObjekt(m_row)) return false;
        m_after = o->m_after;
        setObsolete(m_after == m_before);
        return true;
    }

protected:
    void apply(bool forward) override {
        const int32_t index = RowObjekt(m_row);
        if (!validElement(index)) return;
        Objekt& o = element(index);
        ReplaceString(m_field == TextField ? o.Text : o.FontName, forward ? m_after : m_before);
    }
    int32_t rowAfter(bool) const override { return m_row; }
    bool changesList() const override { return m_field == TextField; } // the row captions

private:
    Field m_field;
    int32_t m_row;
    std::string m_before;
    std::string m_after;
};

// Elements that come into the list with the step and leave it on undo. While
// they are out, the command holds them as they were.
class InsertCommand final : public HistoryCommand {
public:
    InsertCommand(ProjectHistory& history, const char* name, int32_t first, int32_t count,
                  std::vector<Objekt> held)
        : HistoryCommand(history, name), m_first(first), m_count(count), m_held(std::move(held)) {}
    ~InsertCommand() override {
        for (Objekt& o : m_held)
            ReleaseObjekt(o);
    }

protected:
    void apply(bool forward) override {
        if (forward) {
            for (size_t i = 0; i < m_held.size(); ++i)
                InsertObjekt(m_first + static_cast<int32_t>(i), m_held[i]);
            m_held.clear();
        } else {
            for (int32_t i = 0; i < m_count; ++i)
                m_held.push_back(TakeObjekt(m_first));
        }
    }
    int32_t rowAfter(bool forward) const override { return forward ? 2 * m_first : -1; }

private:
    int32_t m_first;
    int32_t m_count;
    std::vector<Objekt> m_held; // the elements while they are out of the list
};

class RemoveCommand final : public HistoryCommand {
public:
    RemoveCommand(ProjectHistory& history, const char* name, int32_t index)
        : HistoryCommand(history, name), m_index(index) {}
    ~RemoveCommand() override {
        if (m_out) ReleaseObjekt(m_held);
    }

protected:
    void apply(bool forward) override {
        if (forward) {
            m_held = TakeObjekt(m_index);
            m_out = true;
        } else {
            InsertObjekt(m_index, m_held);
            m_out = false;
            m_held = {};
        }
    }
    int32_t rowAfter(bool forward) const override { return forward ? -1 : 2 * m_index; }

private:
    int32_t m_index;
    Objekt m_held{};
    bool m_out = false;
};

class MoveCommand final : public HistoryCommand {
public:
    MoveCommand(ProjectHistory& history, int32_t index, int delta)
        : HistoryCommand(history, delta < 0 ? step::MoveUp : step::MoveDown), m_index(index),
          m_delta(delta) {}

protected:
    void apply(bool) override { MoveObjekt(m_index, m_delta); }
    int32_t rowAfter(bool forward) const override {
        return 2 * (forward ? m_index + m_delta : m_index);
    }

private:
    int32_t m_index;
    int m_delta;
};

// Only the settings a project file holds; the page's other check boxes
// belong to the user, not to the project.
void applySaved(const StageSettings& from) {
    Stage.setWidth(from.width());
    Stage.setHeight(from.height());
    Stage.setFramesPerSecond(from.framesPerSecond());
    Stage.setBackgroundColor(from.backgroundColor());
    Stage.setRepeat(from.repeat());
}

bool sameSaved(const StageSettings& a, const StageSettings& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           a.framesPerSecond() == b.framesPerSecond() &&
           a.backgroundColor() == b.backgroundColor() && a.repeat() == b.repeat();
}

class SettingsCommand final : public HistoryCommand {
public:
    SettingsCommand(ProjectHistory& history, const StageSettings& before,
                    const StageSettings& after, HistoryMerge merge)
        : HistoryCommand(history, step::Settings), m_before(before), m_after(after),
          m_merge(merge) {}

    int id() const override { return static_cast<int>(m_merge); }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* o = dynamic_cast<const SettingsCommand*>(other);
        if (!o || o->m_merge != m_merge) return false;
        m_after = o->m_after;
        setObsolete(sameSaved(m_before, m_after));
        return true;
    }

protected:
    void apply(bool forward) override { applySaved(forward ? m_after : m_before); }
    int32_t rowAfter(bool) const override { return -1; }
    bool changesList() const override { return false; }
    bool changesSettings() const override { return true; }

private:
    StageSettings m_before;
    StageSettings m_after;
    HistoryMerge m_merge;
};

} // namespace

ProjectHistory::ProjectHistory(HistoryView* view) : m_view(view) {}

void ProjectHistory::setValues(int32_t index, int32_t row, const ElementValues& after,
                               const char* name, HistoryMerge merge) {
    if (!validElement(index)) return;
    const ElementValues before = ElementValues::Of(element(index));
    if (before == after) return;
    m_stack.push(new ValuesCommand(*this, name, index, row, before, after, merge));
}

void ProjectHistory::setState(int32_t row, const ObjektState& after, const char* name,
                              HistoryMerge merge) {
    const int32_t index = RowObjekt(row);
    if (row < 0 || !validElement(index)) return;
    ElementValues values = ElementValues::Of(element(index));
    (RowIsEnd(row) ? values.End : values.Start) = after;
    setValues(index, row, values, name, merge);
}

void ProjectHistory::setStateRect(int32_t row, int32_t l, int32_t t, int32_t r, int32_t b,
                                  const char* name, HistoryMerge merge) {
    const int32_t index = RowObjekt(row);
    if (row < 0 || !validElement(index)) return;
    ObjektState s = RowState(element(index), row);
    s.Left = l;
    s.Top = t;
    s.Right = r;
    s.Bottom = b;
    setState(row, s, name, merge);
}

void ProjectHistory::stateChanged(int32_t row, const ObjektState& before, const char* name,
                                  HistoryMerge merge) {
    const int32_t index = RowObjekt(row);
    if (row < 0 || !validElement(index)) return;
    const ElementValues after = ElementValues::Of(element(index));
    ElementValues old = after;
    (RowIsEnd(row) ? old.End : old.Start) = before;
    if (old == after) return;
    m_stack.push(new ValuesCommand(*this, name, index, row, old, after, merge));
}

void ProjectHistory::setText(int32_t row, const std::string& text) {
    const int32_t index = RowObjekt(row);
    if (row < 0 || !validElement(index)) return;
    const char* before = element(index).Text;
    if (text == (before ? before : "")) return;
    m_stack.push(new StringCommand(*this, step::Text, StringCommand::TextField, row,
                                   before ? before : "", text));
}

void ProjectHistory::setFontName(int32_t row, const std::string& face) {
    const int32_t index = RowObjekt(row);
    if (row < 0 || !validElement(index)) return;
    const char* before = element(index).FontName;
    if (face == (before ? before : "")) return;
    m_stack.push(new StringCommand(*this, step::Font, StringCommand::FontField, row,
                                   before ? before : "", face));
}

void ProjectHistory::elementsInserted(int32_t first, int32_t count, const char* name) {
    if (count <= 0) return;
    m_stack.push(new InsertCommand(*this, name, first, count, {}));
}

void ProjectHistory::insertElements(int32_t first, std::vector<Objekt> elements, const char* name) {
    if (elements.empty()) return;
    const auto count = static_cast<int32_t>(elements.size());
    m_stack.push(new InsertCommand(*this, name, first, count, std::move(elements)));
}

void ProjectHistory::removeElement(int32_t index, const char* name) {
    if (!validElement(index)) return;
    m_stack.push(new RemoveCommand(*this, name, index));
}

void ProjectHistory::moveElement(int32_t index, int delta) {
    if (!validElement(index) || !validElement(index + delta) || delta == 0) return;
    m_stack.push(new MoveCommand(*this, index, delta));
}

void ProjectHistory::setSettings(const StageSettings& after, HistoryMerge merge) {
    if (sameSaved(Stage, after)) return;
    m_stack.push(new SettingsCommand(*this, Stage, after, merge));
}
