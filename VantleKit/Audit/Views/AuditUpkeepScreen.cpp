#include "AuditUpkeepScreen.h"

#include "AuditActions.h"
#include "AuditBackButton.h"
#include "AuditCard.h"
#include "AuditChipGroup.h"
#include "AuditChips.h"
#include "AuditH1.h"
#include "AuditHelp.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditQSub.h"
#include "AuditQuizOptions.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditStore.h"

#include <QPointer>
#include <QTimer>

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"upkeep", control);
}
} // namespace

AuditUpkeepScreen::AuditUpkeepScreen(AuditStore *store, QWidget *parent)
    : AuditScreenView(store, parent)
{
    add(new AuditH1(QStringLiteral("Meals, getting ready, chores. How much a day?")));
    add(new AuditQSub(QStringLiteral("Only time outside the work block. Lunch at work is already counted.")));

    auto *card = new AuditCard;
    m_upkeep = new AuditChips(hourOpts(AuditPresets::upkeepOptions, QStringLiteral("h")), false,
                              [store](double v) { return store->state().s.upkeepDay == v; });
    m_upkeep->setObjectName(nameOf(u"upkeepChips"));
    connect(m_upkeep, &AuditChips::picked, store, [store](double v) {
        store->pickUpkeep(v);
        // The move belongs to the audit, not to this screen: it happens even when the user
        // went elsewhere meanwhile, and each pick schedules its own. It dies with the store.
        QTimer::singleShot(autoAdvanceDelay, store, [store] { store->show(AuditScreen::family); });
    });
    card->addWidget(new AuditChipGroup(QStringLiteral("A day, roughly"), true, m_upkeep));
    m_help = new AuditHelp;
    m_help->setObjectName(nameOf(u"help"));
    card->addWidget(m_help);
    add(card);

    AuditBackButton *back = backButton(QStringLiteral("← Back"), AuditScreen::work, nameOf(u"back"));
    m_next = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg);
    m_next->setObjectName(nameOf(u"next"));
    connect(m_next, &AuditPrimaryButton::clicked, store, [store] { store->show(AuditScreen::family); });
    add(new AuditActions(back, m_next));
    sync();
}

void AuditUpkeepScreen::sync()
{
    const AuditState &state = store()->state();
    m_upkeep->refresh();
    m_help->setRuns({AuditTextRun::plain(QStringLiteral("That's ")),
                     AuditTextRun::emphasis(AuditMath::fmtH(state.s.upkeepDay * 7) + QStringLiteral(" hours a week"),
                                            QFont::Bold, AuditRole::accentInk),
                     AuditTextRun::plain(QStringLiteral(" before anything fun happens."))});
    m_next->setIsDefault(state.screen == AuditScreen::upkeep);
}
