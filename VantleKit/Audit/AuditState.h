#pragma once

#include "VantleKit/Audit/AuditActivity.h"
#include "VantleKit/Audit/AuditScreen.h"
#include "VantleKit/Audit/AuditTune.h"
#include "VantleKit/Audit/ImportedAudit.h"
#include "VantleKit/Audit/QuizAnswers.h"
#include "VantleKit/Audit/YoursCategoryDraft.h"

#include <QList>
#include <QString>

#include <optional>

// The whole state of one audit run as a plain value. Mutators that meet a bad index or
// a limit leave the state as it was and report nothing. A direction argument of -1 means
// down; in tune and tuneSleep every other value means one step up, while stepDraft and
// yoursStepHours multiply their step by it.
struct AuditState {
    AuditScreen screen = AuditScreen::sleep;
    QuizAnswers s;
    PerTune<double> v;                  // dashboard hours a week: work, upkeep, family
    PerTune<bool> tuned;                // changed by hand on the dashboard
    PerTune<std::optional<QString>> keys; // fingerprint of the answers each value came from
    QList<AuditActivity> acts;
    DraftValues draft;
    QList<YoursCategoryDraft> yoursCats;
    qint64 revealNonce = 0; // entries to the dashboard

    static AuditState initial();

    void pickSleep(double value);
    void pickWake(double value);
    void tuneSleep(int dir);
    void toggleDay(int index);
    void pickLeave(double value);
    void pickBack(double value);
    void pickWfhHours(double value);
    void toggleWfh();
    void pencilIn();
    void pickUpkeep(double value);
    void pickFamily(double value);
    // Derives the dashboard values (a hand-tuned value survives while the answers it
    // came from are unchanged) and opens the dashboard.
    void enterDash();
    void tune(TuneCat cat, int dir);
    void addActivity(const AuditActivity &activity);
    void removeActivity(int index);
    void stepDraft(DraftKey key, int dir);
    void yoursAdd();
    void yoursRemove(int index);
    void yoursSetName(int index, const QString &name);
    void yoursStepHours(int index, int dir);
    // Loads an import and opens the dashboard.
    void hydrate(const ImportedAudit &imported);

    bool operator==(const AuditState &) const = default;
};
