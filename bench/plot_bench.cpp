// Plots through the Qt canvas: 20 line plots of 1000 points on a page. One
// pass adds a point to every plot and draws it, between QOB_BEGIN_DRAW and
// its end, as the display stage does; a paint draws every plot anew with
// its whole history.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/pagefile.h"
#include "display/grid.h"
#include "display/plot.h"
#include "platform/qt/canvas_qt.h"

static PortRecord bench_record(int i) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    r.port_flags = PF_ENABLE | PF_PLOT | PF_LINEPLOT;
    r.plot_row = (uint16_t)(12 + (i / 4) * 11);
    r.plot_column = (uint16_t)(1 + (i % 4) * 50);
    r.plot_width = 48;
    r.plot_height = 10;
    r.xlower = 0;
    r.xupper = 1000;
    r.ylower = -1;
    r.yupper = 1;
    r.maxpoints = 1000;
    r.plot_flags = PL_BORDER | PL_GRID | PL_FORWARD;
    r.plotcolor = 14;
    r.plot_backgroundcolor = 1;
    return r;
}

struct BenchPlots {
    QImage image{1700, 1000, QImage::Format_RGB32};
    std::vector<PlotDesc*> plots;
    double t = 0;
    BenchPlots() {
        canvas_qt_attach(&image, nullptr, nullptr);
        grid_reset();
        grid_init(0, 0);
        // The page covers the image whatever the screen: no plot is clipped.
        int cw, ch;
        canvas_cell_size(&cw, &ch);
        grid.cols = 1700 / cw;
        grid.rows = 1000 / ch;
        _setvideomoderows(grid.rows, grid.cols);
        grid_alloc_shadow();
        QOB_BEGIN_DRAW(MSG_TIMER);
        for (int i = 0; i < 20; i++) {
            PortRecord r = bench_record(i);
            plots.push_back(plot_create(&r));
            DrawPPort(plots.back());
        }
        // Each history full and drawn: the x values run round the axis.
        for (int k = 0; k < 1000; k++) add_all();
        QOB_END_DRAW();
    }
    ~BenchPlots() {
        for (PlotDesc* d : plots) DeletePPort(d);
        grid_free_shadow();
        canvas_qt_attach(nullptr, nullptr, nullptr);
    }
    void add_all() {
        t += 1;
        double x = std::fmod(t, 1000.0);
        for (size_t i = 0; i < plots.size(); i++) {
            plot_add_point(plots[i], x, std::sin(t * 0.05 + (double)i));
            PlotExec(plots[i]);
        }
    }
};

static void BM_Plot20AddAndDraw(benchmark::State& state) {
    BenchPlots b;
    for (auto _ : state) {
        QOB_BEGIN_DRAW(MSG_TIMER);
        b.add_all();
        QOB_END_DRAW();
    }
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_Plot20AddAndDraw)->Unit(benchmark::kMillisecond);

static void BM_Plot20Repaint(benchmark::State& state) {
    BenchPlots b;
    for (auto _ : state) {
        QOB_BEGIN_DRAW(MSG_TIMER);
        for (PlotDesc* d : b.plots) {
            DrawPPort(d);
            PlotExec(d);
        }
        QOB_END_DRAW();
    }
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_Plot20Repaint)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
