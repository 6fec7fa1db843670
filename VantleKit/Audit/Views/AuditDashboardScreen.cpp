#include "AuditDashboardScreen.h"

#include "AuditActions.h"
#include "AuditActivityRow.h"
#include "AuditAddActivityBox.h"
#include "AuditBackButton.h"
#include "AuditCard.h"
#include "AuditCatSwatch.h"
#include "AuditDivider.h"
#include "AuditFlowLayout.h"
#include "AuditFont.h"
#include "AuditH1.h"
#include "AuditLabel.h"
#include "AuditLegendItem.h"
#include "AuditMotion.h"
#include "AuditObjectNames.h"
#include "AuditPrimaryButton.h"
#include "AuditRevealNumber.h"
#include "AuditScreenHost.h"
#include "AuditStack.h"
#include "AuditTuneRow.h"
#include "AuditWorkoutsChip.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditStore.h"

#include <QEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace {
QString nameOf(QStringView control)
{
    return AuditObjectNames::name(u"dash", control);
}

const QString workoutsName = QStringLiteral("Workouts");

// The five parts of the week in ribbon order, kept or not.
QList<AuditWeekSegment> candidates(const AuditState &state)
{
    return {
        {QStringLiteral("Sleep"), 7 * state.s.sleep, AuditRole::sleepFill, true},
        {QStringLiteral("Work"), state.v.work, AuditCatSwatch::work(), false},
        {QStringLiteral("Life upkeep"), state.v.upkeep, AuditCatSwatch::upkeep(), false},
        {QStringLiteral("Family & friends"), state.v.family, AuditCatSwatch::people(), false},
        {QStringLiteral("Added"), AuditMath::actsTotal(state.acts), AuditCatSwatch::activity(), false},
    };
}

AuditLabel *sectionHeading(const QString &text)
{
    auto *heading = new AuditLabel(text.toUpper(), AuditFont::system(13, QFont::Bold), AuditRole::muted);
    heading->setLetterSpacing(1.8);
    heading->setPadding(QMargins(0, 0, 0, 6));
    heading->setAccessibleRole(QAccessible::Heading);
    return heading;
}

AuditLabel *sectionSub(const QString &text)
{
    auto *sub = new AuditLabel(text, AuditFont::system(14), AuditRole::muted);
    sub->setLineSpacing(3);
    sub->setPadding(QMargins(0, 0, 0, 14));
    return sub;
}

// The soft light behind the big number: 420 × 280, `accent` at 16 % in the middle fading to
// nothing 210 out. It takes no clicks and follows the number wherever the layout puts it.
// It reaches past the card's top edge, so it is drawn twice: on the card under everything
// else, and in the card's parent just under the card, where the card's fill covers all but
// what lies outside it.
class RevealGlow final : public QWidget {
public:
    RevealGlow(QWidget *number, QWidget *host, QWidget *under = nullptr)
        : QWidget(host)
        , m_number(number)
        , m_under(under)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        for (QWidget *w = number; w && w != host; w = w->parentWidget())
            w->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)
            follow();
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent *) override
    {
        QColor inner = AuditPalette::of(this).accent;
        QColor outer = inner;
        inner.setAlphaF(inner.alphaF() * 0.16f);
        outer.setAlphaF(0);
        QRadialGradient gradient(QRectF(rect()).center(), 210);
        gradient.setColorAt(0, inner);
        gradient.setColorAt(1, outer);
        QPainter(this).fillRect(rect(), gradient);
    }

private:
    void follow()
    {
        if (!m_number)
            return;
        const QPoint centre = m_number->mapTo(parentWidget(), m_number->rect().center());
        setGeometry(QRect(centre.x() - 210, centre.y() - 140, 420, 280));
        if (m_under)
            stackUnder(m_under);
        else
            lower();
    }

    QPointer<QWidget> m_number;
    QPointer<QWidget> m_under;
};
} // namespace

AuditDashboardScreen::AuditDashboardScreen(AuditStore *store, AuditScreenHost *proxy, QWidget *parent)
    : AuditScreenView(store, parent)
    , m_proxy(proxy)
    , m_reveal(new QVariantAnimation(this))
{
    m_reveal->setStartValue(0.0);
    m_reveal->setDuration(revealMilliseconds);
    m_reveal->setEasingCurve(QEasingCurve::OutCubic); // 1 − (1 − p)³
    connect(m_reveal, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setDisplay(value.toDouble()); });

    add(new AuditH1(QStringLiteral("Your week, on one page.")));
    auto *card = new AuditCard;

    // The reveal: the number, what it is, and the week's receipt.
    auto *reveal = new QWidget;
    auto *revealColumn = new QVBoxLayout(reveal);
    revealColumn->setContentsMargins(0, 10, 0, 6);
    revealColumn->setSpacing(0);
    m_number = new AuditRevealNumber;
    m_number->setObjectName(nameOf(u"number"));
    revealColumn->addWidget(m_number);
    m_label = new AuditLabel(QString(), AuditFont::system(18), AuditRole::text);
    m_label->setObjectName(nameOf(u"label"));
    m_label->setPadding(QMargins(0, 10, 0, 0));
    m_label->setLineAlignment(Qt::AlignHCenter);
    revealColumn->addWidget(m_label);
    m_sentence = new AuditLabel(QString(), AuditFont::system(14), AuditRole::muted);
    m_sentence->setObjectName(nameOf(u"sentence"));
    m_sentence->setLineSpacing(3);
    m_sentence->setPadding(QMargins(0, 8, 0, 0));
    m_sentence->setLineAlignment(Qt::AlignHCenter);
    revealColumn->addWidget(m_sentence);
    reveal->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    card->addWidget(reveal);

    m_ribbon = new AuditWeekRibbon;
    m_ribbon->setObjectName(nameOf(u"ribbon"));
    card->addWidget(m_ribbon);

    auto *legend = new QWidget;
    legend->setObjectName(nameOf(u"legend"));
    QSizePolicy legendPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    legendPolicy.setHeightForWidth(true);
    legend->setSizePolicy(legendPolicy);
    auto *legendFlow = new AuditFlowLayout(20, 8, legend);
    legendFlow->setContentsMargins(0, 0, 0, 8);
    for (int i = 0; i < 6; ++i) {
        auto *item = new AuditLegendItem;
        item->setObjectName(nameOf(QStringLiteral("legend.%1").arg(i)));
        legendFlow->addWidget(item);
        if (i < 5)
            m_legend.append(item);
        else
            m_legendYours = item;
    }
    card->addWidget(legend);

    m_tuneHeading = sectionHeading(QStringLiteral("Check the math"));
    m_tuneHeading->setObjectName(nameOf(u"tuneHeading"));
    card->addWidget(AuditStack::roomAbove(m_tuneHeading, 40));
    card->addWidget(sectionSub(QStringLiteral("Change any number. Yours updates instantly. Half-hour steps.")));

    auto *tunes = new QWidget;
    auto *tuneColumn = new QVBoxLayout(tunes);
    tuneColumn->setContentsMargins(0, 0, 0, 0);
    tuneColumn->setSpacing(0);
    const auto tuneRow = [&](const QString &title, const QString &sub, const AuditFill &color, bool bordered,
                             const QString &suffix, QStringView objectName) {
        auto *row = new AuditTuneRow(title, sub, color, bordered, false, QString(), suffix,
                                     QStringLiteral("Less ") + title, QStringLiteral("More ") + title);
        row->setObjectName(nameOf(objectName));
        if (tuneColumn->count() > 0)
            tuneColumn->addWidget(new AuditDivider);
        tuneColumn->addWidget(row);
        return row;
    };
    m_sleepRow = tuneRow(QStringLiteral("Sleep"), QString(), AuditRole::sleepFill, true, QStringLiteral("h/night"),
                         u"tuneSleep");
    m_workRow = tuneRow(QStringLiteral("Work, door to door"), QStringLiteral("The drive and the lunch hour live here."),
                        AuditCatSwatch::work(), false, QStringLiteral("h"), u"tuneWork");
    m_upkeepRow = tuneRow(QStringLiteral("Life upkeep"), QStringLiteral("Meals, getting ready, chores, errands."),
                          AuditCatSwatch::upkeep(), false, QStringLiteral("h"), u"tuneUpkeep");
    m_familyRow = tuneRow(QStringLiteral("Family & friends"), QStringLiteral("Time you chose on purpose."),
                          AuditCatSwatch::people(), false, QStringLiteral("h"), u"tuneFamily");
    connect(m_sleepRow, &AuditTuneRow::decremented, store, [store] { store->tuneSleep(-1); });
    connect(m_sleepRow, &AuditTuneRow::incremented, store, [store] { store->tuneSleep(1); });
    const auto bindTune = [store](AuditTuneRow *row, TuneCat cat) {
        connect(row, &AuditTuneRow::decremented, store, [store, cat] { store->tune(cat, -1); });
        connect(row, &AuditTuneRow::incremented, store, [store, cat] { store->tune(cat, 1); });
    };
    bindTune(m_workRow, TuneCat::work);
    bindTune(m_upkeepRow, TuneCat::upkeep);
    bindTune(m_familyRow, TuneCat::family);
    card->addWidget(tunes);

    card->addWidget(AuditStack::roomAbove(sectionHeading(QStringLiteral("What else fits?")), 40));
    card->addWidget(sectionSub(QStringLiteral("Add the thing you've been meaning to do and watch it claim its hours. "
                                              "Count the whole cost: getting there, changing, cleanup.")));

    m_acts = new QWidget;
    m_acts->setObjectName(nameOf(u"acts"));
    m_actsLayout = new QVBoxLayout(m_acts);
    m_actsLayout->setContentsMargins(0, 0, 0, 0);
    m_actsLayout->setSpacing(0);
    card->addWidget(m_acts);

    m_workouts = new QWidget;
    auto *workoutsBox = new QVBoxLayout(m_workouts);
    workoutsBox->setContentsMargins(0, 10, 0, 4);
    auto *workouts = new AuditWorkoutsChip;
    workouts->setObjectName(nameOf(u"workouts"));
    workoutsBox->addWidget(workouts, 0, Qt::AlignLeft);
    connect(workouts, &AuditWorkoutsChip::clicked, store,
            [store] { store->addActivity(AuditActivity{workoutsName, 3, 1, 0.5}); });
    card->addWidget(m_workouts);

    m_addBox = new AuditAddActivityBox(store);
    m_addBox->setObjectName(nameOf(u"addBox"));
    card->addWidget(m_addBox);
    new RevealGlow(m_number, card);
    add(card);
    new RevealGlow(m_number, card->parentWidget(), card);

    AuditBackButton *back = backButton(QStringLiteral("← Retake the questions"), AuditScreen::sleep, nameOf(u"back"));
    m_next = new AuditPrimaryButton(QStringLiteral("Lock it in →"), AuditPrimaryButton::Size::lg);
    m_next->setObjectName(nameOf(u"next"));
    connect(m_next, &AuditPrimaryButton::clicked, this, &AuditDashboardScreen::primaryClicked);
    add(new AuditActions(back, m_next));
    sync();
}

AuditDashboardScreen::~AuditDashboardScreen()
{
    m_reveal->stop();
}

QString AuditDashboardScreen::fmtTimes(double x)
{
    if (std::isfinite(x) && x - std::trunc(x) == 0)
        return QString::number(std::trunc(x), 'f', 0);
    return QString::number(x, 'g', 15);
}

QList<AuditWeekSegment> AuditDashboardScreen::segments(const AuditState &state)
{
    QList<AuditWeekSegment> kept;
    for (const AuditWeekSegment &segment : candidates(state)) {
        if (segment.v > 0)
            kept.append(segment);
    }
    return kept;
}

bool AuditDashboardScreen::isRevealRunning() const
{
    return m_reveal->state() == QAbstractAnimation::Running;
}

QWidget *AuditDashboardScreen::tuneAnchor() const
{
    return m_tuneHeading;
}

void AuditDashboardScreen::setDisplay(double display)
{
    m_display = display;
    m_number->setText(AuditMath::fmtH(display));
}

void AuditDashboardScreen::startReveal(double target)
{
    m_reveal->stop();
    if (AuditMotion::reduceMotion()) {
        setDisplay(target);
        return;
    }
    setDisplay(0);
    m_reveal->setEndValue(target);
    m_reveal->start();
}

void AuditDashboardScreen::sync()
{
    using AuditMath::fmtH;
    const AuditState &state = store()->state();
    const QuizAnswers &s = state.s;
    const double committed = AuditMath::committed(state);
    const double y = AuditMath::weeklyWaking(s) - committed;
    const double sleepWeek = 7 * s.sleep;
    const bool over = y < 0;
    m_weekIsZero = y == 0;

    m_number->setColorRole(over ? AuditRole::danger : AuditRole::accentInk);
    m_label->setText(over ? QStringLiteral("hours over capacity") : QStringLiteral("hours a week are yours"));
    m_sentence->setText(over ? QStringLiteral("Your commitments exceed the week. Check for double counting first. "
                                              "Then decide what has to give.")
                             : QStringLiteral("168 total. ") + fmtH(sleepWeek) + QStringLiteral(" asleep. ")
                                 + fmtH(committed) + QStringLiteral(" committed. Every hour counted once."));

    const QList<AuditWeekSegment> all = candidates(state);
    QList<AuditWeekSegment> kept;
    for (int i = 0; i < all.size(); ++i) {
        const AuditWeekSegment &segment = all.at(i);
        AuditLegendItem *item = m_legend.at(i);
        if (segment.v > 0) {
            kept.append(segment);
            item->setEntry(segment.color, segment.bordered, segment.name + QLatin1Char(' ') + fmtH(segment.v) + QLatin1Char('h'));
        }
        item->setVisible(segment.v > 0);
    }
    m_ribbon->setWeek(kept, y);
    if (y > 0)
        m_legendYours->setEntry(AuditRole::accent, false, QStringLiteral("Yours ") + fmtH(y) + QLatin1Char('h'));
    m_legendYours->setVisible(y > 0);

    m_sleepRow->setSub(fmtH(sleepWeek) + QStringLiteral("h a week. Awake by ") + AuditMath::fmtTime(s.wake)
                       + QLatin1Char('.'));
    m_sleepRow->setValue(fmtH(s.sleep));
    m_workRow->setPencil(s.workPenciled);
    m_workRow->setValue(fmtH(state.v.work));
    m_upkeepRow->setValue(fmtH(state.v.upkeep));
    m_familyRow->setValue(fmtH(state.v.family));

    syncActivities(state.acts);
    const bool hasWorkouts = std::any_of(state.acts.cbegin(), state.acts.cend(),
                                         [](const AuditActivity &a) { return a.name == workoutsName; });
    m_workouts->setVisible(!hasWorkouts);
    m_addBox->sync();

    const QString title = m_weekIsZero ? QStringLiteral("Take an hour back →") : QStringLiteral("Lock it in →");
    if (m_next->text() != title)
        m_next->setText(title);
    m_next->setEnabled(!over);

    // The count-up follows the reveal key: a new nonce replays it, a new target alone jumps.
    const RevealKey key{state.revealNonce, std::abs(y)};
    if (!m_keyKnown) {
        m_keyKnown = true;
        m_key = key;
        setDisplay(key.target);
    } else if (key != m_key) {
        m_key = key;
        if (key.nonce != m_seenNonce) {
            m_seenNonce = key.nonce;
            startReveal(key.target);
        } else {
            m_reveal->stop();
            setDisplay(key.target);
        }
    }
}

void AuditDashboardScreen::syncActivities(const QList<AuditActivity> &acts)
{
    // Rows are kept by position and only hidden when the list shrinks: a row's own remove
    // button may be what shrank it, and it must outlive its click.
    while (m_actRows.size() < acts.size()) {
        const int index = int(m_actRows.size());
        auto *divider = new AuditDivider;
        auto *row = new AuditActivityRow;
        row->setObjectName(nameOf(QStringLiteral("act.%1").arg(index)));
        connect(row, &AuditActivityRow::removeClicked, this, [this, index] {
            if (store())
                store()->removeActivity(index);
        });
        m_actsLayout->addWidget(divider);
        m_actsLayout->addWidget(row);
        m_actRows.append({divider, row});
    }
    for (int i = 0; i < m_actRows.size(); ++i) {
        const auto &[divider, row] = m_actRows.at(i);
        const bool shown = i < acts.size();
        if (shown)
            row->setActivity(acts.at(i));
        row->setVisible(shown);
        divider->setVisible(shown && i > 0);
    }
}

void AuditDashboardScreen::primaryClicked()
{
    if (!store())
        return;
    if (m_weekIsZero) {
        if (m_proxy)
            m_proxy->scrollToAnchor(m_tuneHeading, true);
        return;
    }
    store()->show(AuditScreen::yours);
}
