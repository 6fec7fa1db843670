#include "Vantle/Shell/MainWindow.h"

#include "Vantle/Shell/WindowPlacement.h"
#include "Vantle/Utilities/Theme.h"

#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

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
    qApp->installEventFilter(this);
    WindowPlacement::keepWithinScreen(this);
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

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

void MainWindow::bringForward()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The content covers the window, so the first paint may be any widget's in it.
    if (event->type() == QEvent::Paint && !m_painted && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this) {
        m_painted = true;
        qApp->removeEventFilter(this);
        // Told once the paint under way has been delivered and put on screen.
        QTimer::singleShot(0, this, [this]() {
            const QByteArray probe = qgetenv(probeVariable);
            if (!probe.isEmpty()) {
                std::fprintf(stdout, "%s\n", probeLine);
                std::fflush(stdout);
                if (probe == "hide")
                    hide();
            }
            m_announced = true;
            Q_EMIT firstPainted();
        });
    }
    return false;
}
