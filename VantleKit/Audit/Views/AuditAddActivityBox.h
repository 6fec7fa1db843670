#pragma once

#include "VantleKit/Audit/AuditTune.h"

#include <QPointer>
#include <QWidget>

class AuditDashedButton;
class AuditPrimaryButton;
class AuditBackButton;
class AuditStepper;
class AuditStore;
class AuditTextInput;

// The dashboard's way to add an activity. Closed, it is the dashed "+ Add an activity"
// button; open, a form in place, scrolled into view: a name, times a week, the session's
// length and the lead-in and out, "Add it" and "Cancel"; Return in the name adds it too, and
// Escape anywhere in the form cancels. The three stepper values are the store's draft, so
// they survive closing the box; the name and whether the box is open are the box's own.
class AuditAddActivityBox final : public QWidget {
    Q_OBJECT
public:
    explicit AuditAddActivityBox(AuditStore *store, QWidget *parent = nullptr);

    bool isOpen() const { return m_open; }
    void setOpen(bool open);
    QString name() const;

    AuditTextInput *nameInput() const { return m_name; }
    AuditStepper *stepper(DraftKey key) const;

    // Shows the store's draft values again.
    void sync();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void save();
    void cancel();
    AuditStepper *draftStepper(const QString &label, const QString &suffix, const QString &decLabel,
                               const QString &incLabel, DraftKey key, QWidget *group);

    QPointer<AuditStore> m_store;
    bool m_open = false;
    bool m_keyboardClose = false;
    AuditDashedButton *m_add;
    QWidget *m_form;
    AuditTextInput *m_name;
    AuditStepper *m_times;
    AuditStepper *m_len;
    AuditStepper *m_over;
};
