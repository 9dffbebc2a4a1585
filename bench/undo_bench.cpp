// Undo and redo of a stage drag in the main window on a 1,000-element
// project, each with what the user then sees: the list rebuilt, the dragged
// row selected and its editors reloaded, and the stage painted again.
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "editor/window/TMainForm.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace {

TMainForm* g_form = nullptr;

// 1,000 elements: texts and drawing objects, every tenth a 64 x 64 picture;
// the first is a drawing object at (10, 10)-(50, 50).
void buildProject() {
    movibench::addSmallElements(1000, okDrawing);
}

void dragFirstElement() {
    QWidget* box = g_form->findChild<QWidget*>("PaintBox1");
    g_form->SelectRow(0);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseMove(box, QPoint(60, 45));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(90, 60));
}

// Arg 0: undo of the drag; 1: its redo. The other one runs untimed.
void BM_UndoRedoDrag1000(benchmark::State& state) {
    QAction* undo = g_form->findChild<QAction*>("UndoAction");
    QAction* redo = g_form->findChild<QAction*>("RedoAction");
    QWidget* box = g_form->findChild<QWidget*>("PaintBox1");
    QAction* timed = state.range(0) == 0 ? undo : redo;
    QAction* other = state.range(0) == 0 ? redo : undo;
    if (timed == redo) undo->trigger();
    for (auto _ : state) {
        timed->trigger();
        box->repaint(); // painted now, not when the event loop gets to it
        state.PauseTiming();
        other->trigger();
        box->repaint();
        state.ResumeTiming();
    }
    if (timed == redo) redo->trigger();
}
BENCHMARK(BM_UndoRedoDrag1000)->ArgName("redo")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Recovery copies of the run go into its own scratch folder.
    setenv("XDG_STATE_HOME", movibench::scratchFolder().c_str(), 1);
    QApplication app(argc, argv);
    movibench::bindImageLibrary();
    buildProject();
    auto form = std::make_unique<TMainForm>();
    form->show();
    form->RebuildList();
    QCoreApplication::processEvents();
    g_form = form.get();
    dragFirstElement();
    QCoreApplication::processEvents();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form.reset();
    ClearObjekts();
    return 0;
}
