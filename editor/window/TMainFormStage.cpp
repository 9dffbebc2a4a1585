// The stage view's handlers. The paint box forwards its paint and mouse
// events here; painting, hit testing and dragging are the stage view's plain
// code, and the window only selects the row a click asks for, repaints and
// sets the cursor.

#include "editor/window/TMainForm.h"

#include "editor/model/MainUnit.h"
#include "editor/stage/StageView.h"
#include "editor/window/TStagePaintBox.h"

#include "editor/stage/MoviePreview.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

// Auto-scroll: a step every 30 ms, of a quarter of the distance the pointer
// is past the view's edge (at least 2 pixels), at most 60 pixels a step.
constexpr int kAutoScrollInterval = 30;
constexpr int kAutoScrollMaxStep = 60;

int autoScrollStepFor(int past) {
    if (past == 0) return 0;
    const int step = std::clamp(std::abs(past) / 4, 2, kAutoScrollMaxStep);
    return past < 0 ? -step : step;
}

// How far `p` lies past the edges of `area` (0 inside).
QPoint pastEdges(const QPoint& p, const QRect& area) {
    const int x = p.x() < area.left()    ? p.x() - area.left()
                  : p.x() > area.right() ? p.x() - area.right()
                                         : 0;
    const int y = p.y() < area.top()      ? p.y() - area.top()
                  : p.y() > area.bottom() ? p.y() - area.bottom()
                                          : 0;
    return {x, y};
}

} // namespace

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

void TStagePaintBox::leaveEvent(QEvent*) {
    m_form.PaintBox1MouseLeave();
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
    if (showingMovie()) {
        const QImage frame = m_preview->frameImage(TimeSlider->value());
        if (!frame.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(PaintBox1->rect(), frame);
            return;
        }
        // Until the movie is compiled: the editing view, greyed.
        painter.drawImage(PaintBox1->rect(), RenderStage(stageOptions()));
        painter.fillRect(PaintBox1->rect(), QColor(128, 128, 128, 96));
        return;
    }
    // Drawn off-screen in full and copied in one step, so nothing flickers.
    const QImage stage = RenderStage(stageOptions());
    if (m_zoom == 100) {
        painter.drawImage(0, 0, stage);
        return;
    }
    // Zoomed: every stage pixel becomes a block of screen pixels (nearest
    // neighbour), so what is drawn is exactly what the stage holds.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, PaintBox1->width(), PaintBox1->height()), stage);
}

bool TMainForm::showingMovie() const {
    return TimeSlider->value() >= 0;
}

void TMainForm::TimeSliderChange() {
    const bool movie = showingMovie();
    EditViewBtn->setChecked(!movie);
    TimeLabel->setText(movie ? QStringLiteral("%1 ミリ秒").arg(TimeSlider->value()) : QString());
    if (movie) m_preview->prepare();
    PaintBox1->update();
}

void TMainForm::showEditingView() {
    TimeSlider->setValue(-1);
    EditViewBtn->setChecked(true);
}

void TMainForm::updateTimeRange() {
    int32_t longest = 0;
    for (int32_t i = 0; i < ObjektList.Count; ++i)
        longest = std::max({longest, ObjektAt(i).Start.Time, ObjektAt(i).End.Time});
    TimeSlider->setMaximum(std::max(longest, 0));
    // A step is one frame, a page a second.
    TimeSlider->setSingleStep(std::max(1, 1000 / Stage.framesPerSecond()));
    TimeSlider->setPageStep(1000);
}

void TMainForm::noteProjectChange() {
    const uint64_t fingerprint = MoviePreview::ProjectFingerprint();
    if (fingerprint == m_projectFingerprint) return;
    m_projectFingerprint = fingerprint;
    m_preview->invalidate();
    showEditingView();
    updateTimeRange();
}

void TMainForm::applyStageMouse(const StageMouseResult& result) {
    if (result.setCursor && PaintBox1->cursor().shape() != result.cursor)
        PaintBox1->setCursor(result.cursor);
    // Selecting a row reloads the property pages through the list's handler.
    if (result.selectRow >= 0 && result.selectRow != SelectedRow()) SelectRow(result.selectRow);
    if (result.repaint) RepaintStage();
}

// Mouse positions arrive in screen pixels of the paint box and go on in
// stage pixels: at 200% a drag moves half the mouse's distance.
void TMainForm::PaintBox1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    // A click on the movie's frame brings the editing view back first.
    if (showingMovie()) {
        showEditingView();
        return;
    }
    if (m_stageDrag.Dragging) return; // a second button during a drag
    const int row = SelectedRow();
    applyStageMouse(StageMouseDown(m_stageDrag, stageOptions(), toStage(x), toStage(y)));
    if (m_stageDrag.Dragging && row >= 0) {
        // What undo and Escape bring back.
        m_dragRow = row;
        ObjektList.Select(RowObjekt(row));
        m_dragBefore = RowState(*CurObjekt, row);
    }
}

void TMainForm::PaintBox1MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
    MousePosLabel->setText(QStringLiteral("X: %1  Y: %2").arg(toStage(x)).arg(toStage(y)));
    if (showingMovie()) return;
    applyStageMouse(StageMouseMove(m_stageDrag, stageOptions(), toStage(x), toStage(y),
                                   Stage.width(), Stage.height()));
    if (m_stageDrag.Dragging)
        updateAutoScroll(PaintBox1->mapTo(ScrollBox1->viewport(), QPoint(x, y)));
}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    m_autoScrollTimer->stop();
    if (!m_stageDrag.Dragging) return; // ended by Escape, or never begun
    const int32_t kind = m_stageDrag.HitKind;
    applyStageMouse(
        StageMouseUp(m_stageDrag, toStage(x), toStage(y), Stage.width(), Stage.height()));
    // The whole drag is one step.
    if (m_dragRow >= 0)
        m_history->stateChanged(m_dragRow, m_dragBefore,
                                kind == hkMove ? step::Move : step::Resize);
    m_dragRow = -1;
}

void TMainForm::PaintBox1MouseLeave() {
    MousePosLabel->clear();
}

void TMainForm::updateAutoScroll(const QPoint& viewportPos) {
    m_autoScrollPos = viewportPos;
    const bool past = !pastEdges(viewportPos, ScrollBox1->viewport()->rect()).isNull();
    if (past && !m_autoScrollTimer->isActive())
        m_autoScrollTimer->start(kAutoScrollInterval);
    else if (!past)
        m_autoScrollTimer->stop();
}

void TMainForm::autoScrollStep() {
    if (!m_stageDrag.Dragging) {
        m_autoScrollTimer->stop();
        return;
    }
    const QPoint past = pastEdges(m_autoScrollPos, ScrollBox1->viewport()->rect());
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    const int oldX = h->value(), oldY = v->value();
    h->setValue(oldX + autoScrollStepFor(past.x()));
    v->setValue(oldY + autoScrollStepFor(past.y()));
    if (h->value() == oldX && v->value() == oldY) return; // at the end already
    // The stage moved under the still pointer: the drag follows it there.
    const QPoint p = PaintBox1->mapFrom(ScrollBox1->viewport(), m_autoScrollPos);
    applyStageMouse(StageMouseMove(m_stageDrag, stageOptions(), toStage(p.x()), toStage(p.y()),
                                   Stage.width(), Stage.height()));
}
