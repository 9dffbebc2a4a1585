// The list's selection and the property pages: loading the selected row's
// element into the editors, and writing each editor's change back to it.

#include "editor/window/TMainForm.h"

#include "app/gui/ShiftJisText.h"
#include "app/widgets/TTintelColorComboBox.h"
#include "editor/model/MainUnit.h"
#include "editor/window/ElementListModel.h"
#include "editor/window/TStagePaintBox.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <climits>

namespace {

// The state's field as whole degrees, as the rotation editors show it.
double shownDegrees(int32_t tenths) {
    return tenths / 10;
}

} // namespace

void TMainForm::setPagesEnabled(QWidget* enabledPage) {
    // A page of another kind cannot be opened, and shows no element's values.
    for (QWidget* page : {TabSheet4, TabSheet5, TabSheet6}) {
        const bool enabled = page == enabledPage;
        PageControl2->setTabEnabled(PageControl2->indexOf(page), enabled);
        if (!enabled) clearPage(page);
    }
}

void TMainForm::clearPage(QWidget* page) {
    // Nothing is written: the handlers do not hear of it.
    for (auto* w : page->findChildren<QWidget*>()) {
        const QSignalBlocker block(w);
        if (auto* line = qobject_cast<QLineEdit*>(w))
            line->clear();
        else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            combo->setCurrentIndex(-1);
            if (combo->isEditable()) combo->setEditText({});
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
            spin->clear();
        else if (auto* slider = qobject_cast<QSlider*>(w))
            slider->setValue(slider->minimum());
        else if (auto* check = qobject_cast<QCheckBox*>(w))
            check->setChecked(false);
    }
}

void TMainForm::refreshRectEditors() {
    const int row = SelectedRow();
    const bool selected = row >= 0 && RowObjekt(row) < ObjektList.Count;
    m_fillingRect = true;
    for (QSpinBox* ed : {RectXEd, RectYEd, RectWidthEd, RectHeightEd}) {
        ed->setEnabled(selected);
        if (!selected) ed->clear();
    }
    if (selected) {
        const ObjektState& s = RowState(ObjektAt(RowObjekt(row)), row);
        RectXEd->setValue(s.Left);
        RectYEd->setValue(s.Top);
        RectWidthEd->setValue(static_cast<int>(int64_t(s.Right) - s.Left));
        RectHeightEd->setValue(static_cast<int>(int64_t(s.Bottom) - s.Top));
    }
    m_fillingRect = false;
}

void TMainForm::RectEdChange(QSpinBox* ed) {
    const int row = SelectedRow();
    if (m_fillingRect || FillingEditors || row < 0 || RowObjekt(row) >= ObjektList.Count) return;
    // Written as a drag would write it: X and Y move the rectangle and keep
    // its size, the width and height move the right and bottom edges as
    // their handles do (a negative value turns the rectangle over), and the
    // rectangle stays within reach on the stage.
    StageDrag drag;
    drag.Dragging = true;
    drag.DragElement = RowObjekt(row);
    drag.DragEndState = RowIsEnd(row);
    const ObjektState& s = RowState(ObjektAt(drag.DragElement), row);
    const ObjektState before = s;
    int64_t x = s.Left, y = s.Top;
    if (ed == RectXEd || ed == RectYEd) {
        drag.HitKind = hkMove;
        (ed == RectXEd ? x : y) = ed->value();
    } else if (ed == RectWidthEd) {
        drag.HitKind = hkRight;
        x += ed->value();
    } else {
        drag.HitKind = hkBottom;
        y += ed->value();
    }
    DragTo(drag, static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)),
           static_cast<int32_t>(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX)), Stage.width(),
           Stage.height());
    // Typing into one box is one step.
    const HistoryMerge field = ed == RectXEd       ? HistoryMerge::RectX
                               : ed == RectYEd     ? HistoryMerge::RectY
                               : ed == RectWidthEd ? HistoryMerge::RectWidth
                                                   : HistoryMerge::RectHeight;
    m_history->stateChanged(row, before, step::Rectangle, field);
    RepaintStage();
}

ObjektState* TMainForm::editedState() {
    const int row = SelectedRow();
    if (row < 0 || FillingEditors || RowObjekt(row) >= ObjektList.Count) return nullptr;
    ObjektList.Select(RowObjekt(row));
    return &RowState(*CurObjekt, row);
}

void TMainForm::ListView1Click() {
    showRefusal({}); // a refusal concerned the text of the row shown before
    const int row = SelectedRow();
    if (row >= 0 && RowObjekt(row) < ObjektList.Count) {
        FillingEditors = true;
        ObjektList.Select(RowObjekt(row));
        const Objekt& o = *CurObjekt;
        const ObjektState& s = RowState(*CurObjekt, row);
        switch (o.Kind) {
        case okText: {
            const QString text = FromCp932(o.Text);
            TextEd->setText(text);
            const QString face = FromCp932(o.FontName);
            int faceIndex = FontEd->findText(face, Qt::MatchFixedString | Qt::MatchCaseSensitive);
            if (faceIndex < 0) {
                // A face from a file that is not installed stays selectable.
                FontEd->addItem(face);
                faceIndex = FontEd->count() - 1;
            }
            FontEd->setCurrentIndex(faceIndex);
            TFarbeEd->SetColorValue(s.Color);
            CurFontSize = s.FontSize;
            RotEd->setValue(shownDegrees(s.Rotation));
            TimeEd->setValue(s.Time);
            TransEd->setValue(s.Transparency);
            FontSize->setEditText(QString::number(CurFontSize));
            DelObCheck->setChecked(o.DeleteAtEnd != 0);
            break;
        }
        case okDrawing:
            TFarbeEd2->SetColorValue(s.Color);
            RotEd2->setValue(shownDegrees(s.Rotation));
            TimeEd2->setValue(s.Time);
            TransEd2->setValue(s.Transparency);
            ObjectKindBox->setCurrentIndex(o.DrawKind);
            DelObCheck2->setChecked(o.DeleteAtEnd != 0);
            break;
        case okPicture:
            RotEd3->setValue(shownDegrees(s.Rotation));
            TimeEd3->setValue(s.Time);
            DelObCheck3->setChecked(o.DeleteAtEnd != 0);
            break;
        default:
            break;
        }
        FillingEditors = false;
    }
    RepaintStage();
}

void TMainForm::ListView1Change() {
    if (RebuildingList) return;
    ListView1Click();
    const int row = SelectedRow();
    if (row < 0 || RowObjekt(row) >= ObjektList.Count) {
        setPagesEnabled(nullptr);
        return;
    }
    // A button or an unknown kind has no page of its own.
    QWidget* page = nullptr;
    switch (ObjektAt(RowObjekt(row)).Kind) {
    case okText:
        page = TabSheet4;
        break;
    case okDrawing:
        page = TabSheet5;
        break;
    case okPicture:
        page = TabSheet6;
        break;
    default:
        break;
    }
    setPagesEnabled(page);
    if (page) PageControl2->setCurrentWidget(page);
}

// ------------------------------------------------------------------ property editors

void TMainForm::TextEdChange() {
    const QString text = TextEd->text();
    if (FillingEditors) {
        m_lastStorableText = text;
        return;
    }
    const std::optional<std::string> stored = ToCp932(text);
    if (!stored) {
        // Keep the last text that Shift-JIS can hold and say why.
        const QString bad = FirstUnstorableCharacter(text);
        const int cursor = TextEd->cursorPosition();
        {
            const QSignalBlocker block(TextEd);
            TextEd->setText(m_lastStorableText);
            TextEd->setCursorPosition(std::max(
                0, std::min<int>(cursor - static_cast<int>(text.size() - m_lastStorableText.size()),
                                 static_cast<int>(m_lastStorableText.size()))));
        }
        showRefusal(
            QStringLiteral("「%1」はShift-JISで保存できない文字なので、入力できません。").arg(bad));
        return;
    }
    m_lastStorableText = text;
    showRefusal({});
    const int row = SelectedRow();
    if (row < 0 || RowObjekt(row) >= ObjektList.Count) return;
    m_history->setText(row, *stored);
    RebuildingList = true;
    RebuildList();
    SelectRow(row);
    RebuildingList = false;
}

template <typename Change>
void TMainForm::editState(const char* name, HistoryMerge merge, Change change) {
    if (ObjektState* s = editedState()) {
        ObjektState after = *s;
        change(after);
        m_history->setState(SelectedRow(), after, name, merge);
    }
    RepaintStage();
}

template <typename Change> void TMainForm::editValues(const char* name, Change change) {
    if (editedState()) {
        ElementValues after = ElementValues::Of(*CurObjekt);
        change(after);
        const int row = SelectedRow();
        m_history->setValues(RowObjekt(row), row, after, name);
    }
    RepaintStage();
}

void TMainForm::FontEdChange() {
    if (editedState()) {
        if (const auto face = ToCp932(FontEd->currentText()))
            m_history->setFontName(SelectedRow(), *face);
    }
    RepaintStage();
}

void TMainForm::FontSizeChange() {
    const QString text = FontSize->currentText();
    if (!text.isEmpty()) {
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        if (ok && value >= 1 && value <= 999) {
            CurFontSize = value;
        } else {
            const QSignalBlocker block(FontSize);
            FontSize->setEditText(QString::number(CurFontSize));
        }
    }
    const int row = SelectedRow();
    if (row >= 0 && RowObjekt(row) < ObjektList.Count) {
        ObjektList.Select(RowObjekt(row));
        ObjektState after = RowState(*CurObjekt, row);
        after.FontSize = CurFontSize;
        m_history->setState(row, after, step::FontSize, HistoryMerge::FontSize);
    }
    RepaintStage();
}

void TMainForm::TFarbeEdChange() {
    editState(step::Color, HistoryMerge::None,
              [&](ObjektState& s) { s.Color = TFarbeEd->ColorValue(); });
}

void TMainForm::TFarbeEd2Change() {
    editState(step::Color, HistoryMerge::None,
              [&](ObjektState& s) { s.Color = TFarbeEd2->ColorValue(); });
}

void TMainForm::RotEdChange() {
    editState(step::Rotation, HistoryMerge::Rotation,
              [&](ObjektState& s) { s.Rotation = RotationFromDegrees(RotEd->value()); });
}

void TMainForm::RotEd2Change() {
    editState(step::Rotation, HistoryMerge::Rotation,
              [&](ObjektState& s) { s.Rotation = RotationFromDegrees(RotEd2->value()); });
}

void TMainForm::RotEd3Change() {
    editState(step::Rotation, HistoryMerge::Rotation,
              [&](ObjektState& s) { s.Rotation = RotationFromDegrees(RotEd3->value()); });
}

void TMainForm::TimeEdChange() {
    editState(step::Time, HistoryMerge::Time, [&](ObjektState& s) { s.Time = TimeEd->value(); });
}

void TMainForm::TimeEd2Change() {
    editState(step::Time, HistoryMerge::Time, [&](ObjektState& s) { s.Time = TimeEd2->value(); });
}

void TMainForm::TimeEd3Change() {
    editState(step::Time, HistoryMerge::Time, [&](ObjektState& s) { s.Time = TimeEd3->value(); });
}

void TMainForm::TransEdChange() {
    editState(step::Transparency, HistoryMerge::Transparency,
              [&](ObjektState& s) { s.Transparency = TransEd->value(); });
}

void TMainForm::TransEd2Change() {
    editState(step::Transparency, HistoryMerge::Transparency,
              [&](ObjektState& s) { s.Transparency = TransEd2->value(); });
}

void TMainForm::ObjectKindBoxChange() {
    editValues(step::DrawKind,
               [&](ElementValues& v) { v.DrawKind = ObjectKindBox->currentIndex(); });
}

void TMainForm::DelObCheckClick() {
    editValues(step::DeleteAtEnd,
               [&](ElementValues& v) { v.DeleteAtEnd = DelObCheck->isChecked() ? 1 : 0; });
}

void TMainForm::DelObCheck2Click() {
    editValues(step::DeleteAtEnd,
               [&](ElementValues& v) { v.DeleteAtEnd = DelObCheck2->isChecked() ? 1 : 0; });
}

void TMainForm::DelObCheck3Click() {
    editValues(step::DeleteAtEnd,
               [&](ElementValues& v) { v.DeleteAtEnd = DelObCheck3->isChecked() ? 1 : 0; });
}
