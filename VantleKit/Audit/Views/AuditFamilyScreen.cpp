#include "AuditFamilyScreen.h"

#include "AuditActions.h"
#include "AuditBackButton.h"
#include "AuditCard.h"
#include "AuditChipGroup.h"
#include "AuditChips.h"
#include "AuditH1.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditQSub.h"
#include "AuditQuizOptions.h"

#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditStore.h"

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"family", control);
}
} // namespace

AuditFamilyScreen::AuditFamilyScreen(AuditStore *store, QWidget *parent)
    : AuditScreenView(store, parent)
{
    add(new AuditH1(QStringLiteral("How much time with your people, a week?")));
    add(new AuditQSub(
        QStringLiteral("Family, friends, the good stuff. Guess big; this is time you want spoken for.")));

    auto *card = new AuditCard;
    m_family = new AuditChips(hourOpts(AuditPresets::familyOptions, QStringLiteral("h")), false,
                              [store](double v) { return store->state().s.familyWk == v; });
    m_family->setObjectName(nameOf(u"familyChips"));
    connect(m_family, &AuditChips::picked, store, &AuditStore::pickFamily);
    card->addWidget(new AuditChipGroup(QStringLiteral("A week"), true, m_family));
    add(card);

    AuditBackButton *back = backButton(QStringLiteral("← Back"), AuditScreen::upkeep, nameOf(u"back"));
    m_next = new AuditPrimaryButton(QStringLiteral("See my week →"), AuditPrimaryButton::Size::lg);
    m_next->setObjectName(nameOf(u"next"));
    connect(m_next, &AuditPrimaryButton::clicked, store, &AuditStore::enterDash);
    add(new AuditActions(back, m_next));
    sync();
}

void AuditFamilyScreen::sync()
{
    const AuditState &state = store()->state();
    m_family->refresh();
    m_next->setIsDefault(state.screen == AuditScreen::family);
}
