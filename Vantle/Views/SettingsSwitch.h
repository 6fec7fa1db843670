#pragma once

#include <QAbstractButton>

// The on/off switch of the settings window's toggle rows: a pill whose knob slides to the
// trailing end, filled with the accent colour while on. Its text is not drawn: it names the
// switch for accessibility and for whoever looks the switch up by its row's label.
class SettingsSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};
