// Drawing changed values through the Qt canvas: 200 value ports of a page
// get a new value each pass, drawn between QOB_BEGIN_DRAW and its end into
// the off-screen image of the page area.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <vector>

#include "core/datatypes.h"
#include "display/grid.h"
#include "display/vport.h"
#include "platform/qt/canvas_qt.h"

static void BM_Draw200Values(benchmark::State& state) {
    QImage image(1600, 900, QImage::Format_RGB32);
    canvas_qt_attach(&image, nullptr, nullptr);
    grid_reset();
    grid_init(0, 0);
    grid_alloc_shadow();
    std::vector<VPortFrame*> frames;
    for (int i = 0; i < 200; i++) {
        char title[16];
        snprintf(title, sizeof title, "PARAM %d", i);
        frames.push_back(vport_create_frame(4 + (i / 10) * 4 % 60, 1 + (i % 10) * 14, "%8.3lf", "V", title, "", VF_BORDER));
        vport_draw_frame(frames.back());
    }
    double v = 0;
    for (auto _ : state) {
        QOB_BEGIN_DRAW(MSG_TIMER);
        for (VPortFrame* f : frames) {
            char text[90];
            v += 1.25;
            vport_value_text(f->format, DT_DOUBLE, f->value_width, &v, text);
            vport_draw_value(f, text);
        }
        QOB_END_DRAW();
    }
    state.SetItemsProcessed(state.iterations() * 200);
    for (VPortFrame* f : frames) FreeVPortMemory(f);
    grid_free_shadow();
    canvas_qt_attach(nullptr, nullptr, nullptr);
}
BENCHMARK(BM_Draw200Values)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
