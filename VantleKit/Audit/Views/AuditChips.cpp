#include "AuditChips.h"

#include "AuditChipButton.h"
#include "AuditFlowLayout.h"
#include "AuditObjectNames.h"

AuditChips::AuditChips(const QList<AuditChipOption> &options, bool day, std::function<bool(double)> isOn,
                       QWidget *parent)
    : QWidget(parent)
    , m_day(day)
    , m_isOn(std::move(isOn))
    , m_layout(new AuditFlowLayout(10, 10, this))
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(this, &QObject::objectNameChanged, this, &AuditChips::nameChips);
    setOptions(options);
}

void AuditChips::setOptions(const QList<AuditChipOption> &options)
{
    QList<AuditChipButton *> kept;
    QList<AuditChipButton *> old = m_chips;
    for (const AuditChipOption &option : options) {
        AuditChipButton *chip = nullptr;
        for (int i = 0; i < old.size(); ++i) {
            if (old.at(i)->option().value == option.value) {
                chip = old.takeAt(i);
                break;
            }
        }
        const bool on = m_isOn ? m_isOn(option.value) : false;
        if (chip) {
            chip->setOption(option);
            chip->setOn(on);
        } else {
            chip = new AuditChipButton(option, m_day, on, this);
            const double value = option.value;
            connect(chip, &AuditChipButton::clicked, this, [this, value] { Q_EMIT picked(value); });
        }
        kept.append(chip);
    }
    qDeleteAll(old);
    // Re-add in option order; the layout only holds the order.
    while (QLayoutItem *item = m_layout->takeAt(0))
        delete item;
    for (AuditChipButton *chip : kept) {
        m_layout->addWidget(chip);
        chip->show();
    }
    m_options = options;
    m_chips = kept;
    nameChips();
}

void AuditChips::setIsOn(std::function<bool(double)> isOn)
{
    m_isOn = std::move(isOn);
    refresh();
}

void AuditChips::refresh()
{
    for (AuditChipButton *chip : std::as_const(m_chips))
        chip->setOn(m_isOn ? m_isOn(chip->option().value) : false);
}

void AuditChips::nameChips()
{
    for (int i = 0; i < m_chips.size(); ++i)
        m_chips.at(i)->setObjectName(AuditObjectNames::part(this, QStringLiteral("chip.%1").arg(i)));
}
