#include "Vantle/App/AppTray.h"

#include <QAction>

AppTray::AppTray(QIcon icon, QObject *parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>())
{
    QAction *open = m_menu->addAction(openText);
    QAction *settings = m_menu->addAction(settingsText);
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(quitText);
    connect(open, &QAction::triggered, this, &AppTray::openMainWindowRequested);
    connect(settings, &QAction::triggered, this, &AppTray::openSettingsRequested);
    connect(quit, &QAction::triggered, this, &AppTray::quitRequested);

    m_icon = std::make_unique<QSystemTrayIcon>(std::move(icon));
    m_icon->setToolTip(QStringLiteral("Vantle"));
    m_icon->setContextMenu(m_menu.get());
    // A plain click on the icon is the quickest way back to the window.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT openMainWindowRequested();
    });
}

AppTray::~AppTray()
{
    // The icon refers to the menu: it goes first.
    m_icon.reset();
}

bool AppTray::isHostAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool AppTray::show()
{
    if (!isHostAvailable())
        return false;
    m_icon->show();
    return m_icon->isVisible();
}

bool AppTray::isShown() const
{
    return m_icon->isVisible();
}
