// One stepper press on the Hour Audit's dashboard, from the click to the painted frame,
// against a bare frame of the same window. The press runs the store's intent, every
// screen's update of its texts, whatever relayout those changes ask for and the repaint of
// what changed; the bare frame throws every layout of the dashboard away, lays it out again
// and repaints the whole window. The repetitions of the two run interleaved; each gives
// the median of its single presses or frames. The goal: a press's median within one frame
// at 240 Hz (4 ms).

#include "bench/BenchRatio.h"
#include "bench/Click.h"
#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"
#include "VantleKit/Audit/Views/AuditMotion.h"
#include "VantleKit/Audit/Views/AuditScreenHost.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QLayout>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// The dashboard as the application shows it: the whole flow in a 960 × 680 window.
struct Dashboard {
    Dashboard()
    {
        AuditState state = AuditState::initial();
        state.enterDash();
        auto store = std::make_unique<AuditStore>(
            state, QStringLiteral("Europe/Lisbon"), [](AuditSubmission) -> QCoro::Task<void> { co_return; }, [] {});
        flow = std::make_unique<AuditFlowView>(AuditPalette::coal(), std::move(store));
        flow->resize(960, 680);
        flow->show();
        // Painted only once the window is on screen, and it is put there by the event loop.
        QElapsedTimer waited;
        waited.start();
        while (!(flow->windowHandle() && flow->windowHandle()->isExposed()) && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        finishLayout();
        counter = std::make_unique<PaintCounter>(&painted);
        flow->installEventFilter(counter.get());
        for (QWidget *child : flow->findChildren<QWidget *>())
            child->installEventFilter(counter.get());
        inc = flow->findChild<QWidget *>(QStringLiteral("audit.dash.tuneWork.stepper.inc"));
        dec = flow->findChild<QWidget *>(QStringLiteral("audit.dash.tuneWork.stepper.dec"));
        screen = flow->screen(AuditScreen::dash);
    }

    static void finishLayout() { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); }

    // Delivers the repaint the window asked for now, as the event loop would at its next
    // frame: what is dirty is painted and flushed. The number of widgets painted (none: the
    // frame had nothing to show).
    int finishFrame()
    {
        painted = 0;
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(flow.get(), &request);
        return painted;
    }


    // Counts the paint events of the widgets it watches.
    class PaintCounter final : public QObject {
    public:
        explicit PaintCounter(int *count) : m_count(count) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++*m_count;
            return false;
        }

    private:
        int *m_count;
    };

    int painted = 0;
    std::unique_ptr<PaintCounter> counter;
    std::unique_ptr<AuditFlowView> flow;
    QWidget *inc = nullptr;
    QWidget *dec = nullptr;
    QWidget *screen = nullptr;
};

// Made on first use and gone before the application object.
std::unique_ptr<Dashboard> g_dashboard;

Dashboard &dashboard()
{
    if (!g_dashboard)
        g_dashboard = std::make_unique<Dashboard>();
    return *g_dashboard;
}

void invalidateAll(QWidget *root)
{
    for (QLayout *layout : root->findChildren<QLayout *>())
        layout->invalidate();
    if (root->layout())
        root->layout()->invalidate();
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Each iteration is timed on its own, so the report can give the median of single presses.
template <typename Work>
void timed(benchmark::State &state, Work work)
{
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1000);
    }
    state.counters["median_ms"] = medianOf(ms);
}

void measured(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Repetitions(15)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
}

void BM_BareFrame(benchmark::State &state)
{
    Dashboard &d = dashboard();
    int frames = 0;
    timed(state, [&] {
        invalidateAll(d.screen);
        Dashboard::finishLayout();
        d.flow->update();
        frames += d.finishFrame() > 0 ? 1 : 0;
    });
    if (frames != state.iterations())
        state.SkipWithError("a frame was never painted");
}
BENCHMARK(BM_BareFrame)->Apply(measured);

void BM_StepperPress(benchmark::State &state)
{
    Dashboard &d = dashboard();
    bool up = true;
    int frames = 0;
    timed(state, [&] {
        // Up and down in turn: the week stays where it started.
        clickMiddle(up ? d.inc : d.dec);
        Dashboard::finishLayout();
        frames += d.finishFrame() > 0 ? 1 : 0;
        up = !up;
    });
    if (frames != state.iterations())
        state.SkipWithError("a press painted no frame");
}
BENCHMARK(BM_StepperPress)->Apply(measured);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A press never animates, but the dashboard's first entry would count up meanwhile.
    app.setProperty(AuditMotion::reduceMotionProperty, true);
    BenchRatio::initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto print = [](const Spread &bare, const Spread &press, const Spread &ratio) {
        std::printf("stepper press to painted frame / bare frame (medians): %s; press median %.3f ms, bare frame "
                    "%.3f ms (target: press <= 4 ms) %s\n",
                    ratio.text("%.3f").c_str(), press.median, bare.median, press.median <= 4.0 ? "ok" : "OVER TARGET");
    };
    BenchRatio reporter("BM_BareFrame", "BM_StepperPress", BenchRatio::counter("median_ms"), print);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_dashboard.reset();
    return 0;
}
