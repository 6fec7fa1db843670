// One stepper press on the Hour Audit's dashboard, from the click to the finished relayout,
// against a bare relayout of the same widgets. The press runs the store's intent, every
// screen's update of its texts and whatever relayout those changes ask for; the bare relayout
// throws every layout of the dashboard away and lays it out again. The goal: a press's median
// within one frame at 240 Hz (4 ms).

#include "bench/BenchRatio.h"
#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"
#include "VantleKit/Audit/Views/AuditMotion.h"
#include "VantleKit/Audit/Views/AuditScreenHost.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLayout>
#include <QMouseEvent>

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
        finishLayout();
        inc = flow->findChild<QWidget *>(QStringLiteral("audit.dash.tuneWork.stepper.inc"));
        dec = flow->findChild<QWidget *>(QStringLiteral("audit.dash.tuneWork.stepper.dec"));
        screen = flow->screen(AuditScreen::dash);
    }

    static void finishLayout() { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); }

    static void press(QWidget *button)
    {
        const QPointF at(button->width() / 2.0, button->height() / 2.0);
        const QPointF global = button->mapToGlobal(at);
        QMouseEvent down(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent up(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &down);
        QApplication::sendEvent(button, &up);
    }

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

void BM_BareRelayout(benchmark::State &state)
{
    Dashboard &d = dashboard();
    timed(state, [&] {
        invalidateAll(d.screen);
        Dashboard::finishLayout();
    });
}
BENCHMARK(BM_BareRelayout)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_StepperPress(benchmark::State &state)
{
    Dashboard &d = dashboard();
    bool up = true;
    timed(state, [&] {
        // Up and down in turn: the week stays where it started.
        Dashboard::press(up ? d.inc : d.dec);
        Dashboard::finishLayout();
        up = !up;
    });
}
BENCHMARK(BM_StepperPress)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A press never animates, but the dashboard's first entry would count up meanwhile.
    app.setProperty(AuditMotion::reduceMotionProperty, true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto print = [](double bare, double press) {
        std::printf("stepper press / bare relayout (medians): %.3f; press median %.3f ms (target <= 4 ms) %s\n",
                    press / bare, press, press <= 4.0 ? "ok" : "OVER TARGET");
    };
    BenchRatio reporter("BM_BareRelayout", "BM_StepperPress", BenchRatio::counter("median_ms"), print);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_dashboard.reset();
    return 0;
}
