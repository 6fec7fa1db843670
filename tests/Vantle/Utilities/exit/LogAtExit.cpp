// A program that logs a burst and returns from main() while the lines still wait for the
// log's writer, as the application does when it quits or relaunches after a reset:
//
//   log-at-exit <log folder> <lines>
//
// The log files are small, so that the writer rotates while the program ends.
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return 2;
    LogFileSink::Limits limits;
    limits.maxFileBytes = 16 * 1024;
    limits.maxFiles = 5;
    LogCenter::shared().setFiles(args.at(1), limits);
    const int lines = args.at(2).toInt();
    const Log log(QStringLiteral("exit"));
    for (int i = 1; i <= lines; ++i)
        log.emit(QStringLiteral("info"), QStringLiteral("line %1 of %2").arg(i).arg(lines));
    return 0;
}
