#include "AuditSleepScreen.h"

#include "AuditActions.h"
#include "AuditCard.h"
#include "AuditChipGroup.h"
#include "AuditChips.h"
#include "AuditFont.h"
#include "AuditH1.h"
#include "AuditHelp.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditQSub.h"
#include "AuditQuizOptions.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditStore.h"

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"sleep", control);
}

AuditLabel *introLine()
{
    auto *intro = new AuditLabel;
    intro->setBaseFont(AuditFont::mono(14));
    intro->setLetterSpacing(0.8);
    intro->setColorRole(AuditRole::accentInk);
    intro->setPadding(QMargins(0, 0, 0, 14));
    intro->setRuns({AuditTextRun::plain(QStringLiteral("Every week is ")),
                    AuditTextRun::styled(QStringLiteral("168"), AuditFont::mono(19, QFont::Bold), std::nullopt),
                    AuditTextRun::plain(QStringLiteral(" hours. Sleep takes its cut first."))});
    return intro;
}

// "Awake 6:30 AM to 10:30 PM. That's 112 waking hours a week." and a remark on the 112.
AuditTextRuns wakingLine(const QuizAnswers &s)
{
    const double waking = (24 - s.sleep) * 7;
    const QString hours = AuditMath::fmtH(waking);
    const QString remark = waking == 112
        ? QStringLiteral(" The same 112 everyone plans with.")
        : QStringLiteral(" Most plans assume 112; yours is %1.").arg(hours);
    return {
        AuditTextRun::plain(QStringLiteral("Awake %1 to %2. That's ")
                                .arg(AuditMath::fmtTime(s.wake), AuditMath::fmtTime(s.wake + (24 - s.sleep)))),
        AuditTextRun::emphasis(hours + QStringLiteral(" waking hours a week"), QFont::Bold, AuditRole::accentInk),
        AuditTextRun::plain(QStringLiteral(".")),
        AuditTextRun::plain(remark),
    };
}
} // namespace

AuditSleepScreen::AuditSleepScreen(AuditStore *store, QWidget *footer, QWidget *parent)
    : AuditScreenView(store, parent)
    , m_footer(footer)
{
    AuditLabel *intro = introLine();
    intro->setObjectName(nameOf(u"intro"));
    add(intro);
    add(new AuditH1(QStringLiteral("How much sleep do you need?")));
    add(new AuditQSub(QStringLiteral("Be honest, not aspirational. And when are you up?")));

    auto *card = new AuditCard;
    m_sleep = new AuditChips(hourOpts(AuditPresets::sleepOptions, QStringLiteral("h")), false,
                             [store](double v) { return store->state().s.sleep == v; });
    m_sleep->setObjectName(nameOf(u"sleepChips"));
    connect(m_sleep, &AuditChips::picked, store, &AuditStore::pickSleep);
    card->addWidget(new AuditChipGroup(QStringLiteral("Sleep a night"), false, m_sleep));
    m_wake = new AuditChips(timeOpts(AuditPresets::wakeOptions), false,
                            [store](double v) { return store->state().s.wake == v; });
    m_wake->setObjectName(nameOf(u"wakeChips"));
    connect(m_wake, &AuditChips::picked, store, &AuditStore::pickWake);
    card->addWidget(new AuditChipGroup(QStringLiteral("Up and moving by"), true, m_wake));
    m_help = new AuditHelp;
    m_help->setObjectName(nameOf(u"help"));
    card->addWidget(m_help);
    add(card);

    m_next = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg);
    m_next->setObjectName(nameOf(u"next"));
    connect(m_next, &AuditPrimaryButton::clicked, store, [store] { store->show(AuditScreen::work); });
    add(new AuditActions(nullptr, m_next));

    if (m_footer)
        add(m_footer);
    sync();
}

void AuditSleepScreen::sync()
{
    const AuditState &state = store()->state();
    m_sleep->refresh();
    m_wake->refresh();
    m_help->setRuns(wakingLine(state.s));
    m_next->setIsDefault(state.screen == AuditScreen::sleep);
}
