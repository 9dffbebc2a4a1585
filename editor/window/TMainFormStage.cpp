// The stage view's handlers. The paint box forwards its paint and mouse
// events here; painting, hit testing and dragging are the stage view's plain
// code, and the window only selects the row a click asks for, repaints and
// sets the cursor.

#include "editor/model/MainUnit.h"
#include "editor/stage/StageDrag.h"
#include "editor/stage/StageView.h"
#include "editor/window/TMainForm.h"

#include <QCheckBox>
#include <QPainter>

namespace {

// The drag between mouse down and mouse up, kept with the window's unit.
StageDrag StageDragState;

StageViewOptions stageOptions(const TMainForm& form) {
    StageViewOptions options;
    options.selectedRow = form.SelectedRow();
    options.onlyActual = form.OnlyActualCheck->isChecked();
    options.noArrows = form.NoArrowsCheck->isChecked();
    return options;
}

} // namespace

void TMainForm::PaintBox1Paint(QPainter& painter) {
    // Drawn off-screen in full and copied in one step, so nothing flickers.
    painter.drawImage(0, 0, RenderStage(stageOptions(*this)));
}

namespace {

void apply(TMainForm& form, const StageMouseResult& result) {
    if (result.setCursor && form.PaintBox1->cursor().shape() != result.cursor)
        form.PaintBox1->setCursor(result.cursor);
    // Selecting a row reloads the property pages through the list's handler.
    if (result.selectRow >= 0 && result.selectRow != form.SelectedRow())
        form.SelectRow(result.selectRow);
    if (result.repaint) form.RepaintStage();
}

} // namespace

void TMainForm::PaintBox1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    apply(*this, StageMouseDown(StageDragState, stageOptions(*this), x, y));
}

void TMainForm::PaintBox1MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
    apply(*this, StageMouseMove(StageDragState, stageOptions(*this), x, y, PaintBox1->width(),
                                PaintBox1->height()));
}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    apply(*this, StageMouseUp(StageDragState, x, y, PaintBox1->width(), PaintBox1->height()));
}
