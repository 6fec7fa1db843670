#include "AuditYoursRow.h"

#include "AuditObjectNames.h"
#include "AuditRemoveButton.h"
#include "AuditStepButton.h"
#include "AuditStepper.h"
#include "AuditSwatch.h"
#include "AuditTextInput.h"

#include "VantleKit/Audit/AuditMath.h"

#include <QHBoxLayout>

AuditYoursRow::AuditYoursRow(QWidget *parent)
    : QWidget(parent)
    , m_name(new AuditTextInput(QStringLiteral("Guitar, the novel, actual rest"), false))
    , m_stepper(new AuditStepper(QString(), QStringLiteral("h"), QString(), QString(), AuditStepper::Size::md))
    , m_remove(new AuditRemoveButton(QString()))
{
    auto *swatch = new AuditSwatch(14, 4);
    swatch->setFill(AuditRole::accent);

    auto *controls = new QHBoxLayout;
    controls->setSpacing(12);
    controls->addWidget(m_stepper, 0, Qt::AlignVCenter);
    controls->addWidget(m_remove, 0, Qt::AlignVCenter);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 14, 0, 14);
    row->setSpacing(14);
    row->addWidget(swatch, 0, Qt::AlignVCenter);
    row->addWidget(m_name, 1, Qt::AlignVCenter);
    row->addLayout(controls);

    connect(m_name, &AuditTextInput::textChanged, this, [this](const QString &text) {
        if (!m_syncing)
            Q_EMIT nameEdited(text);
    });
    connect(m_stepper, &AuditStepper::decremented, this, &AuditYoursRow::decremented);
    connect(m_stepper, &AuditStepper::incremented, this, &AuditYoursRow::incremented);
    connect(m_remove, &AuditRemoveButton::clicked, this, &AuditYoursRow::removeClicked);
    connect(this, &QObject::objectNameChanged, this, &AuditYoursRow::nameParts);
}

QString AuditYoursRow::labelName(const QString &name)
{
    const QString trimmed = name.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("this") : trimmed;
}

void AuditYoursRow::setRow(YoursCategoryDraft row, bool removable)
{
    m_syncing = true;
    m_name->setText(row.name);
    m_syncing = false;
    // The input cuts a name longer than it takes (one that came by import): the row then
    // holds, and would submit, what is shown.
    if (m_name->text() != row.name)
        Q_EMIT nameEdited(m_name->text());
    m_stepper->setValue(AuditMath::fmtH(row.hours));
    const QString label = labelName(row.name);
    m_stepper->decButton()->setAccessibleName(QStringLiteral("Fewer hours for ") + label);
    m_stepper->incButton()->setAccessibleName(QStringLiteral("More hours for ") + label);
    m_remove->setAccessibleName(QStringLiteral("Remove ") + label);
    m_remove->setVisible(removable);
}

void AuditYoursRow::nameParts()
{
    m_name->setObjectName(AuditObjectNames::part(this, u"name"));
    m_stepper->setObjectName(AuditObjectNames::part(this, u"hours"));
    m_remove->setObjectName(AuditObjectNames::part(this, u"remove"));
}
