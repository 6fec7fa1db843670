// The baselines of bench_startup: the least a Qt Widgets program does to put a 960 x 680
// window on screen ("empty"), and the same window with a label and a button ("--text"),
// which pays the font set-up any window with text pays. It reports its first paint the
// way Vantle's start-up probe does (see Vantle/Shell/StartupProbe.h).
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

class Window final : public QWidget {
protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_painted)
            return;
        m_painted = true;
        // Reported as Vantle's window reports it: once the paint has been delivered.
        QTimer::singleShot(0, this, [this]() {
            timespec cpu{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
            std::fprintf(stdout, "vantle-first-paint cpu-ms=%.3f\n",
                         static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6);
            std::fflush(stdout);
            if (qgetenv("VANTLE_STARTUP_PROBE") == "hide")
                hide();
        });
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Window window;
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.resize(960, 680);
    if (QApplication::arguments().contains(QStringLiteral("--text"))) {
        auto *layout = new QVBoxLayout(&window);
        layout->addStretch();
        layout->addWidget(new QLabel(QStringLiteral("Account for the 168 hours of your week.")), 0, Qt::AlignCenter);
        layout->addWidget(new QPushButton(QStringLiteral("Continue")), 0, Qt::AlignCenter);
        layout->addStretch();
    }
    window.show();
    return app.exec();
}
