#pragma once

#include "VantleKit/Audit/YoursCategoryDraft.h"

#include <QWidget>

class AuditRemoveButton;
class AuditStepper;
class AuditTextInput;

// One block of the user's own hours on the yours step: an `accent` swatch, the name field
// taking the room there is, the hours a week on a medium stepper and, while there is more
// than one row, a remove button; 14 above and below. Edits come out as signals; the row shows
// whatever it is given next.
class AuditYoursRow final : public QWidget {
    Q_OBJECT
public:
    explicit AuditYoursRow(QWidget *parent = nullptr);

    // A copy: telling the store of a cut name changes the rows the value came from.
    void setRow(YoursCategoryDraft row, bool removable);
    // The name the controls are read out with: the trimmed name, or "this" when there is none.
    static QString labelName(const QString &name);

    AuditTextInput *nameInput() const { return m_name; }
    AuditStepper *stepper() const { return m_stepper; }
    AuditRemoveButton *removeButton() const { return m_remove; }

Q_SIGNALS:
    void nameEdited(const QString &name);
    void decremented();
    void incremented();
    void removeClicked();

private:
    void nameParts();

    AuditTextInput *m_name;
    AuditStepper *m_stepper;
    AuditRemoveButton *m_remove;
    bool m_syncing = false;
};
