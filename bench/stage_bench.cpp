// Stage view: a full repaint of a busy stage, and one large picture fitted
// into a stage-sized box and turned.
#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/stage/StageView.h"

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

DibRecord gradientPicture(int width, int height) {
    DibRecord pic{};
    Pixmill.newdib(&pic, width, height, 24, nullptr, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pic.Bits + int64_t(y) * pic.BytesPerRow;
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<uint8_t>(x);
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = static_cast<uint8_t>(x + y);
        }
    }
    return pic;
}

// 550 x 400 with 200 elements: 20 pictures of 640 x 480 in boxes of 160 x 120,
// the rest texts, rectangles and ellipses; every fourth element turned.
void buildBusyStage() {
    ClearObjekts();
    Stage = StageSettings();
    for (int i = 0; i < 200; ++i) {
        Objekt* o = nullptr;
        if (i % 10 == 0) {
            DibRecord pic = gradientPicture(640, 480);
            o = AddObjekt(okPicture, &pic);
            for (ObjektState* s : {&o->Start, &o->End}) {
                s->Right = s->Left + 160;
                s->Bottom = s->Top + 120;
            }
        } else if (i % 3 == 0) {
            o = AddObjekt(okText);
        } else {
            o = AddObjekt(okDrawing);
            o->DrawKind = i % 3 == 1 ? dkRectangle : dkEllipse;
            o->Start.Color = o->End.Color = 0x00336699 + i;
        }
        if (i % 4 == 0) o->End.Rotation = 300 + i;
    }
}

void BM_RepaintBusyStage(benchmark::State& state) {
    buildBusyStage();
    StageViewOptions options;
    options.selectedRow = 41;
    for (auto _ : state) {
        QImage image = RenderStage(options);
        benchmark::DoNotOptimize(image.constBits());
    }
    ClearObjekts();
}

// 2880 x 2880 fitted into (0, 0)-(550, 400): drawn 400 x 400, turned by 30 degrees.
void BM_TurnedLargePicture(benchmark::State& state) {
    DibRecord pic = gradientPicture(2880, 2880);
    ObjektState s{};
    s.Right = 550;
    s.Bottom = 400;
    s.Rotation = 300;
    QImage image(550, 400, StageImageFormat);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (auto _ : state) {
        DrawPictureObject(painter, pic, s);
        benchmark::DoNotOptimize(image.constBits());
    }
    painter.end();
    Pixmill.deldib(&pic);
}

} // namespace

BENCHMARK(BM_RepaintBusyStage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnedLargePicture)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ConsoleBindingReporter reporter(true);
    if (!BindPixmill(ProgramFolder(), reporter)) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
