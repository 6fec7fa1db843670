#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/VantleApp.h"

#include "Platform/ApplicationFont.h"

#include <QApplication>
#include <QCoro/QCoroTask>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ApplicationFont::apply();
    QApplication::setApplicationName(QStringLiteral("vantle"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantle"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantle"));

    AppDelegate delegate;
    switch (QCoro::waitFor(delegate.launch(QApplication::arguments().mid(1)))) {
    case AppDelegate::LaunchRole::forwarded:
        return 0;
    case AppDelegate::LaunchRole::failed:
        return 1;
    case AppDelegate::LaunchRole::primary:
        break;
    }

    VantleApp vantle(&delegate);
    return app.exec();
}
