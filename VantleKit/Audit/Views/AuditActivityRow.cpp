#include "AuditActivityRow.h"

#include "AuditCatSwatch.h"
#include "AuditDashboardScreen.h"
#include "AuditFont.h"
#include "AuditLabel.h"
#include "AuditObjectNames.h"
#include "AuditRemoveButton.h"
#include "AuditSwatch.h"

#include "VantleKit/Audit/AuditMath.h"

#include <QHBoxLayout>
#include <QVBoxLayout>


AuditActivityRow::AuditActivityRow(QWidget *parent)
    : QWidget(parent)
    , m_name(new AuditLabel(QString(), AuditFont::system(16, QFont::DemiBold), AuditRole::text))
    , m_detail(new AuditLabel(QString(), AuditFont::system(13), AuditRole::muted))
    , m_remove(new AuditRemoveButton(QString()))
{
    auto *swatch = new AuditSwatch(14, 4);
    swatch->setFill(AuditCatSwatch::activity());

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(m_name);
    text->addWidget(m_detail);

    auto *left = new QHBoxLayout;
    left->setSpacing(14);
    left->addWidget(swatch, 0, Qt::AlignVCenter);
    left->addLayout(text, 1);

    // 14 on either side of a room of at least 12; the row carries it in its spacer.
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 16, 0, 16);
    row->setSpacing(0);
    row->addLayout(left, 1);
    row->addSpacerItem(new QSpacerItem(14 + 12 + 14, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    row->addWidget(m_remove, 0, Qt::AlignVCenter);

    connect(m_remove, &AuditRemoveButton::clicked, this, &AuditActivityRow::removeClicked);
    connect(this, &QObject::objectNameChanged, this, &AuditActivityRow::nameParts);
}

QString AuditActivityRow::detail(const AuditActivity &a)
{
    using AuditMath::fmtH;
    return AuditDashboardScreen::fmtTimes(a.times) + QStringLiteral("× (") + fmtH(a.len) + QStringLiteral("h + ") + fmtH(a.over)
        + QStringLiteral("h in and out) = ") + fmtH(a.times * (a.len + a.over)) + QLatin1Char('h');
}

void AuditActivityRow::setActivity(const AuditActivity &activity)
{
    m_name->setText(activity.name);
    m_detail->setText(detail(activity));
    m_remove->setAccessibleName(QStringLiteral("Remove ") + activity.name);
}

void AuditActivityRow::nameParts()
{
    m_name->setObjectName(AuditObjectNames::part(this, u"name"));
    m_detail->setObjectName(AuditObjectNames::part(this, u"detail"));
    m_remove->setObjectName(AuditObjectNames::part(this, u"remove"));
}
