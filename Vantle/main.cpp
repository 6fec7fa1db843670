// Stand-in entry point until the application type and its root view stand: the
// application object, the delegate's single instance and link routing, and one empty
// main window, so that the run command, the desktop entry and the hand-over of
// "vantle://" links to the running instance can be tried for real.

#include "Vantle/App/AppDelegate.h"

#include "Platform/ApplicationFont.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QWidget>

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

    QWidget window;
    window.setObjectName(QStringLiteral("main"));
    window.setWindowTitle(QStringLiteral("Vantle"));
    window.resize(960, 680);
    window.show();
    delegate.setActivationHandler([&window]() {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    // No account layer yet: every sign-in link is logged and left untaken.
    delegate.setUrlHandler([](const QUrl &) { return false; });
    return app.exec();
}
