#pragma once

#include <QWidget>

// The main window "main": 960 x 680 by default, holding the root view.
//
// It tells when it has painted for the first time (firstPainted), which is when start-up
// can go on behind it; the start-up probe hears of it too (see StartupProbe).
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    static inline const QString identifier = QStringLiteral("main");
    static constexpr int defaultWidth = 960;
    static constexpr int defaultHeight = 680;

    // Takes `content` as its only child.
    explicit MainWindow(QWidget *content, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the window (restored when minimized), raises it and asks for the focus.
    void bringForward();

    // Whether the window has painted once (firstPainted() has been emitted).
    bool hasPainted() const { return m_announced; }

    QWidget *content() const { return m_content; }
    // Replaces the content; the old one is deleted.
    void setContent(QWidget *content);

Q_SIGNALS:
    // Once, when the window (any widget in it) has painted for the first time.
    void firstPainted();

private:
    QWidget *m_content;
    bool m_announced = false;
};
