// A running instance in a process of its own, for tests: claims the single instance
// in the folder given, prints "held", then prints every argument list handed to it.
// A test kills it with SIGKILL to leave the lock and socket of a crashed instance.

#include "Vantle/App/SingleInstance.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    if (instance.tryClaim() != SingleInstance::Claim::primary)
        return 3;
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &app, [](const QStringList &arguments) {
        const QByteArray json = QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
        std::printf("received %s\n", json.constData());
        std::fflush(stdout);
    });
    std::printf("held\n");
    std::fflush(stdout);
    return app.exec();
}
