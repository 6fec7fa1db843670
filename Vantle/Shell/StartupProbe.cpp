#include "Vantle/Shell/StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

// Watches every paint of the application until one lands inside the widget.
class PaintWatch final : public QObject {
public:
    PaintWatch(QWidget *widget, std::function<void()> then) : QObject(widget), m_widget(widget), m_then(std::move(then))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PaintWatch() override
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || m_fired || !watched->isWidgetType())
            return false;
        auto *painted = static_cast<QWidget *>(watched);
        if (painted != m_widget && !m_widget->isAncestorOf(painted))
            return false;
        m_fired = true;
        // Told once the paint under way has been delivered and put on screen.
        QTimer::singleShot(0, this, [this]() {
            const std::function<void()> then = std::move(m_then);
            deleteLater();
            then();
        });
        return false;
    }

private:
    QWidget *m_widget;
    std::function<void()> m_then;
    bool m_fired = false;
};

} // namespace

QByteArray StartupProbe::mode()
{
    return qgetenv(variable);
}

void StartupProbe::announce(const QByteArray &line)
{
    if (mode().isEmpty())
        return;
    // The CPU time of every thread the process has had, those that ended included.
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    std::fprintf(stdout, "%s %s%.3f\n", line.constData(), cpuPrefix,
                 static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6);
    std::fflush(stdout);
}

void StartupProbe::afterFirstPaint(QWidget *widget, std::function<void()> then)
{
    if (widget && then && QCoreApplication::instance())
        new PaintWatch(widget, std::move(then));
}
