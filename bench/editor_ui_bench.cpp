// The main window with a 1,000-element project: opening it (list rebuilt,
// editors loaded from the first row) and rebuilding the list, which the text
// box does on every keystroke. Each is measured as the call alone and with
// the window's pending events (layout and painting of the list) processed.
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "editor/window/TMainForm.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>

#include <memory>
#include <string>

namespace {

TMainForm* g_form = nullptr;
std::string g_project;

// 1,000 elements: texts and drawing objects, every tenth a 64 x 64 picture.
void buildProject(const std::string& path) {
    movibench::addSmallElements(1000, okText);
    SaveProject(path);
    ClearObjekts();
}

void BM_OpenProject1000(benchmark::State& state) {
    const bool events = state.range(0) != 0;
    for (auto _ : state) {
        g_form->OpenProjectFile(QString::fromStdString(g_project));
        g_form->SelectRow(0);
        if (events) QCoreApplication::processEvents();
    }
    state.counters["rows"] = g_form->findChild<QTableView*>("ListView1")->model()->rowCount();
}
BENCHMARK(BM_OpenProject1000)->ArgName("events")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RebuildList1000(benchmark::State& state) {
    const bool events = state.range(0) != 0;
    g_form->OpenProjectFile(QString::fromStdString(g_project));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        g_form->RebuildList();
        if (events) QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_RebuildList1000)->ArgName("events")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    movibench::bindImageLibrary();
    g_project = movibench::scratchFile("thousand.fmo");
    buildProject(g_project);
    auto form = std::make_unique<TMainForm>();
    form->show();
    QCoreApplication::processEvents();
    g_form = form.get();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form.reset();
    ClearObjekts();
    return 0;
}
