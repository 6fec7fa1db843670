#include "support/TaskRunner.h"

#include <QCoreApplication>

namespace TestSupport {

void spinFor(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace TestSupport
