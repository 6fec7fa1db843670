#include "AuditWorkScreen.h"

#include "AuditActions.h"
#include "AuditAltButton.h"
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

#include <QHBoxLayout>

#include <algorithm>

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"work", control);
}

const QString fromHome = QStringLiteral("I work from home");
const QString outOfHome = QStringLiteral("I leave the house for work");
} // namespace

AuditWorkScreen::AuditWorkScreen(AuditStore *store, QWidget *parent)
    : AuditScreenView(store, parent)
{
    add(new AuditH1(QStringLiteral("What does work take?")));
    add(new AuditQSub(QStringLiteral("Door to door, on most days. The whole block counts once, drive and all.")));

    auto *card = new AuditCard;
    QList<AuditChipOption> days;
    for (int i = 0; i < AuditPresets::dayNames.size(); ++i)
        days.append({double(i), AuditPresets::dayNames.at(i)});
    m_days = new AuditChips(days, true, [store](double v) {
        const QList<bool> &on = store->state().s.days;
        const int index = int(v);
        return index >= 0 && index < on.size() && on.at(index);
    });
    m_days->setObjectName(nameOf(u"dayChips"));
    connect(m_days, &AuditChips::picked, store, [store](double v) { store->toggleDay(int(v)); });
    card->addWidget(new AuditChipGroup(QStringLiteral("Workdays"), false, m_days));

    m_leave = new AuditChips(timeOpts(AuditPresets::leaveOptions), false,
                             [store](double v) { return store->state().s.leave == v; });
    m_leave->setObjectName(nameOf(u"leaveChips"));
    connect(m_leave, &AuditChips::picked, store, &AuditStore::pickLeave);
    m_leaveGroup = new AuditChipGroup(QStringLiteral("Out the door"), false, m_leave);
    card->addWidget(m_leaveGroup);

    m_back = new AuditChips(timeOpts(AuditPresets::backOptions), false,
                            [store](double v) { return store->state().s.back == v; });
    m_back->setObjectName(nameOf(u"backChips"));
    connect(m_back, &AuditChips::picked, store, &AuditStore::pickBack);
    m_backGroup = new AuditChipGroup(QStringLiteral("Back home"), false, m_back);
    card->addWidget(m_backGroup);

    m_wfhHours = new AuditChips(hourOpts(AuditPresets::wfhHourOptions, QStringLiteral("h")), false,
                                [store](double v) { return store->state().s.wfhHours == v; });
    m_wfhHours->setObjectName(nameOf(u"wfhHoursChips"));
    connect(m_wfhHours, &AuditChips::picked, store, &AuditStore::pickWfhHours);
    m_wfhHoursGroup = new AuditChipGroup(QStringLiteral("Working hours a day"), false, m_wfhHours);
    card->addWidget(m_wfhHoursGroup);

    m_help = new AuditHelp;
    m_help->setObjectName(nameOf(u"help"));
    card->addWidget(m_help);
    add(card);

    AuditBackButton *back = backButton(QStringLiteral("← Back"), AuditScreen::sleep, nameOf(u"back"));

    auto *trailing = new QWidget;
    auto *row = new QHBoxLayout(trailing);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(20);
    m_wfh = new AuditAltButton(fromHome);
    m_wfh->setObjectName(nameOf(u"wfh"));
    connect(m_wfh, &AuditAltButton::clicked, store, &AuditStore::toggleWfh);
    auto *pencil = new AuditAltButton(QStringLiteral("Irregular schedule? Pencil in 45h"));
    pencil->setObjectName(nameOf(u"pencil"));
    connect(pencil, &AuditAltButton::clicked, store, &AuditStore::pencilIn);
    m_next = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg);
    m_next->setObjectName(nameOf(u"next"));
    connect(m_next, &AuditPrimaryButton::clicked, store, [store] { store->show(AuditScreen::upkeep); });
    row->addWidget(m_wfh, 0, Qt::AlignVCenter);
    row->addWidget(pencil, 0, Qt::AlignVCenter);
    row->addWidget(m_next, 0, Qt::AlignVCenter);
    trailing->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    add(new AuditActions(back, trailing));
    sync();
}

AuditTextRuns AuditWorkScreen::helpText(const QuizAnswers &s, int days, double away)
{
    using AuditMath::fmtH;
    const auto bold = [](const QString &text) {
        return AuditTextRun::emphasis(text, QFont::Bold, AuditRole::accentInk);
    };
    if (s.workPenciled) {
        return {AuditTextRun::plain(QStringLiteral("Penciled in at ")), bold(QStringLiteral("45 hours a week")),
                AuditTextRun::plain(QStringLiteral(". Tune it on the dashboard."))};
    }
    if (s.wfh) {
        return {AuditTextRun::plain(QStringLiteral("That's ")),
                bold(fmtH(s.wfhHours * days) + QStringLiteral(" hours of work a week")),
                AuditTextRun::plain(QStringLiteral(", %1 days at home.").arg(days))};
    }
    return {AuditTextRun::plain(QStringLiteral("That's %1 hours door to door, %2 days a week: ").arg(fmtH(away)).arg(days)),
            bold(fmtH(away * days) + QStringLiteral(" hours")),
            AuditTextRun::plain(QStringLiteral(". The drive lives inside it."))};
}

void AuditWorkScreen::sync()
{
    const AuditState &state = store()->state();
    const QuizAnswers &s = state.s;
    m_days->refresh();
    m_leave->refresh();
    m_back->refresh();
    m_wfhHours->refresh();
    m_leaveGroup->setVisible(!s.wfh);
    m_backGroup->setVisible(!s.wfh);
    m_wfhHoursGroup->setVisible(s.wfh);
    const double away = s.back - s.leave >= 0 ? s.back - s.leave : 0;
    m_help->setRuns(helpText(s, AuditMath::dayCount(s), away));
    const QString wfhTitle = s.wfh ? outOfHome : fromHome;
    if (m_wfh->text() != wfhTitle)
        m_wfh->setText(wfhTitle);
    m_next->setIsDefault(state.screen == AuditScreen::work);
}
