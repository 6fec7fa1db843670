#pragma once

#include "AuditChipOption.h"

#include <QList>
#include <QWidget>

#include <functional>

class AuditChipButton;
class AuditFlowLayout;

// A row of option chips flowing over as many lines as its width needs (10 apart both ways).
// It keeps no selection: a chip is on when the caller's isOn says so (asked again by
// refresh() after the caller's state changed), and a click emits picked with the value.
// Chips are identified by their option's value: setOptions keeps the chip (and its hover
// state) of a value that stays.
class AuditChips final : public QWidget {
    Q_OBJECT
public:
    AuditChips(const QList<AuditChipOption> &options, bool day, std::function<bool(double)> isOn,
               QWidget *parent = nullptr);

    void setOptions(const QList<AuditChipOption> &options);
    const QList<AuditChipOption> &options() const { return m_options; }
    void setIsOn(std::function<bool(double)> isOn);
    // Asks isOn again for every chip.
    void refresh();

    QList<AuditChipButton *> chips() const { return m_chips; }

Q_SIGNALS:
    void picked(double value);

private:
    void nameChips();

    QList<AuditChipOption> m_options;
    bool m_day;
    std::function<bool(double)> m_isOn;
    AuditFlowLayout *m_layout;
    QList<AuditChipButton *> m_chips;
};
