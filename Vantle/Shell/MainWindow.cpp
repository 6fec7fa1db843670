#include "Vantle/Shell/MainWindow.h"

#include "Vantle/Shell/StartupProbe.h"
#include "Vantle/Shell/WindowPlacement.h"
#include "Vantle/Utilities/Theme.h"

#include <QVBoxLayout>

MainWindow::MainWindow(QWidget *content, QWidget *parent)
    : QWidget(parent), m_content(content)
{
    setObjectName(identifier);
    setWindowTitle(QStringLiteral("Vantle"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::canvas);
    setPalette(palette);
    setMinimumSize(720, 520);
    resize(defaultWidth, defaultHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (m_content)
        layout->addWidget(m_content);
    WindowPlacement::keepWithinScreen(this);
    // The content covers the window, so the first paint may be any widget's in it.
    StartupProbe::afterFirstPaint(this, [this]() {
        StartupProbe::announce(StartupProbe::firstPaintLine);
        if (StartupProbe::mode() == "hide")
            hide();
        m_announced = true;
        Q_EMIT firstPainted();
    });
}

void MainWindow::setContent(QWidget *content)
{
    if (content == m_content)
        return;
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    if (m_content) {
        layout()->addWidget(m_content);
        m_content->show();
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::bringForward()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}
