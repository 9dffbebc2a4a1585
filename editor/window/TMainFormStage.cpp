// The stage view's handlers. The paint box forwards its paint and mouse
// events here; painting, hit testing and dragging are the stage view's plain
// code, and the window only selects the row a click asks for, repaints and
// sets the cursor.

#include "editor/window/TMainForm.h"

#include "editor/model/MainUnit.h"
#include "editor/stage/StageView.h"
#include "editor/window/TStagePaintBox.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QPainter>

TStagePaintBox::TStagePaintBox(TMainForm& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStagePaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_form.PaintBox1Paint(painter);
}

void TStagePaintBox::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    m_form.PaintBox1MouseDown(e->button(), e->modifiers(), p.x(), p.y());
}

void TStagePaintBox::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    m_form.PaintBox1MouseMove(e->buttons(), e->modifiers(), p.x(), p.y());
}

void TStagePaintBox::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    m_form.PaintBox1MouseUp(e->button(), e->modifiers(), p.x(), p.y());
}

void TMainForm::OnlyActualCheckClick() {
    RepaintStage();
}

void TMainForm::NoArrowsCheckClick() {
    RepaintStage();
}

StageViewOptions TMainForm::stageOptions() const {
    StageViewOptions options;
    options.selectedRow = SelectedRow();
    options.onlyActual = OnlyActualCheck->isChecked();
    options.noArrows = NoArrowsCheck->isChecked();
    return options;
}

void TMainForm::PaintBox1Paint(QPainter& painter) {
    // Drawn off-screen in full and copied in one step, so nothing flickers.
    painter.drawImage(0, 0, RenderStage(stageOptions()));
}

void TMainForm::applyStageMouse(const StageMouseResult& result) {
    if (result.setCursor && PaintBox1->cursor().shape() != result.cursor)
        PaintBox1->setCursor(result.cursor);
    // Selecting a row reloads the property pages through the list's handler.
    if (result.selectRow >= 0 && result.selectRow != SelectedRow()) SelectRow(result.selectRow);
    if (result.repaint) RepaintStage();
}

void TMainForm::PaintBox1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    applyStageMouse(StageMouseDown(m_stageDrag, stageOptions(), x, y));
}

void TMainForm::PaintBox1MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
    applyStageMouse(
        StageMouseMove(m_stageDrag, stageOptions(), x, y, PaintBox1->width(), PaintBox1->height()));
}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    applyStageMouse(StageMouseUp(m_stageDrag, x, y, PaintBox1->width(), PaintBox1->height()));
}
