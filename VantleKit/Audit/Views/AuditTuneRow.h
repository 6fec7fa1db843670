#pragma once

#include "AuditSwatch.h"

#include <QWidget>

class AuditLabel;
class AuditStepper;

// One tunable value of the week on the dashboard: a swatch, the title (with a "penciled in"
// badge when asked) over a second line, and a large stepper at the trailing edge. Titles and
// second lines are shown as given. The stepper's buttons emit decremented() and incremented().
class AuditTuneRow final : public QWidget {
    Q_OBJECT
public:
    AuditTuneRow(const QString &name, const QString &sub, const AuditFill &color, bool bordered, bool pencil,
                 const QString &value, const QString &suffix, const QString &decLabel, const QString &incLabel,
                 QWidget *parent = nullptr);

    void setSub(const QString &sub);
    void setPencil(bool pencil);
    bool pencil() const;
    void setValue(const QString &value);

    AuditStepper *stepper() const { return m_stepper; }
    AuditLabel *subLabel() const { return m_sub; }
    QWidget *badge() const { return m_badge; }

Q_SIGNALS:
    void decremented();
    void incremented();

private:
    void nameParts();

    AuditSwatch *m_swatch;
    AuditLabel *m_sub;
    QWidget *m_badge;
    AuditStepper *m_stepper;
};
