#pragma once

#include "AuditScreenView.h"
#include "AuditWeekRibbon.h"

#include "VantleKit/Audit/AuditState.h"

#include <QList>
#include <QPointer>

class AuditActivityRow;
class AuditAddActivityBox;
class AuditBackButton;
class AuditDivider;
class AuditLabel;
class AuditLegendItem;
class AuditPrimaryButton;
class AuditRevealNumber;
class AuditScreenHost;
class AuditTuneRow;
class AuditWorkoutsChip;
class QVariantAnimation;
class QVBoxLayout;

// The week on one page: the hours left over counted up large, the week as a ribbon with its
// legend, the four values to tune, the activities added, a one-click suggestion and the box
// to add more; then back to the questions, or on to naming the hours left over.
//
// Every entry to the dashboard (a new reveal nonce) counts the number up from 0 to the
// hours left over, easing out over 0.7 s; while the dashboard is shown, a change of the week
// stops the count and shows the new number at once. With reduce motion on the number never
// counts. An over-committed week shows its excess, counted the same way, in `danger`.
class AuditDashboardScreen final : public AuditScreenView {
    Q_OBJECT
public:
    // What restarts the count-up: a new nonce. A new target alone only moves the number.
    struct RevealKey {
        qint64 nonce = 0;
        double target = 0;
        bool operator==(const RevealKey &) const = default;
    };
    static constexpr int revealMilliseconds = 700;

    // `proxy` is the host whose scroll view the screen stands in (it scrolls to the tune rows).
    AuditDashboardScreen(AuditStore *store, AuditScreenHost *proxy, QWidget *parent = nullptr);
    ~AuditDashboardScreen() override;

    // Times a week: 3.0 gives "3", 2.5 gives "2.5".
    static QString fmtTimes(double x);
    // Sleep, work, upkeep, family and the added activities, each only when above 0.
    static QList<AuditWeekSegment> segments(const AuditState &state);

    // The number the reveal block shows now, before its half-hour text.
    double display() const { return m_display; }
    bool isRevealRunning() const;
    // The "Check the math" heading, the target of "Take an hour back →".
    QWidget *tuneAnchor() const;

protected:
    void sync() override;

private:
    void startReveal(double target);
    void setDisplay(double display);
    void syncActivities(const QList<AuditActivity> &acts);
    void primaryClicked();

    QPointer<AuditScreenHost> m_proxy;
    double m_display = 0;
    qint64 m_seenNonce = 0;
    RevealKey m_key;
    bool m_keyKnown = false;
    bool m_weekIsZero = false;
    QVariantAnimation *m_reveal;

    AuditRevealNumber *m_number;
    AuditLabel *m_label;
    AuditLabel *m_sentence;
    AuditWeekRibbon *m_ribbon;
    QList<AuditLegendItem *> m_legend;
    AuditLegendItem *m_legendYours;
    AuditLabel *m_tuneHeading;
    AuditTuneRow *m_sleepRow;
    AuditTuneRow *m_workRow;
    AuditTuneRow *m_upkeepRow;
    AuditTuneRow *m_familyRow;
    QWidget *m_acts;
    QVBoxLayout *m_actsLayout;
    QList<QPair<AuditDivider *, AuditActivityRow *>> m_actRows;
    QWidget *m_workouts;
    AuditAddActivityBox *m_addBox;
    AuditPrimaryButton *m_next;
};
