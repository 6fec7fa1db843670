#include "VantleKit/Audit/AuditState.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditPresets.h"

#include <algorithm>

namespace {

bool validIndex(int index, qsizetype count)
{
    return index >= 0 && index < count;
}

} // namespace

AuditState AuditState::initial()
{
    AuditState state;
    state.screen = AuditScreen::sleep;
    state.s = QuizAnswers{
        8, 6.5, {true, true, true, true, true, false, false}, 8, 17.5, false, 8, 2, 15, false,
    };
    state.v = {0, 0, 0};
    state.tuned = {false, false, false};
    state.keys = {std::nullopt, std::nullopt, std::nullopt};
    state.acts = {};
    state.draft = {2, 1, 0.5};
    state.yoursCats = {YoursCategoryDraft{QString(), 1}};
    state.revealNonce = 0;
    return state;
}

void AuditState::pickSleep(double value)
{
    s.sleep = value;
}

void AuditState::pickWake(double value)
{
    s.wake = value;
}

void AuditState::tuneSleep(int dir)
{
    if (dir == -1) {
        if (s.sleep > 4)
            s.sleep -= 0.5;
    } else if (s.sleep < 11) {
        s.sleep += 0.5;
    }
}

void AuditState::toggleDay(int index)
{
    if (!validIndex(index, s.days.size()))
        return;
    s.days[index] = !s.days[index];
    s.workPenciled = false;
}

void AuditState::pickLeave(double value)
{
    s.leave = value;
    s.workPenciled = false;
}

void AuditState::pickBack(double value)
{
    s.back = value;
    s.workPenciled = false;
}

void AuditState::pickWfhHours(double value)
{
    s.wfhHours = value;
    s.workPenciled = false;
}

void AuditState::toggleWfh()
{
    s.wfh = !s.wfh;
    s.workPenciled = false;
}

void AuditState::pencilIn()
{
    s.workPenciled = true;
    screen = AuditScreen::upkeep;
}

void AuditState::pickUpkeep(double value)
{
    s.upkeepDay = value;
}

void AuditState::pickFamily(double value)
{
    s.familyWk = value;
}

void AuditState::enterDash()
{
    // Each value is re-derived when the answers behind it changed (its fingerprint differs)
    // or when it was never tuned; a tuned value over unchanged answers stays.
    const auto settle = [this](TuneCat cat, const QString &key, double derived) {
        if (keys[cat] != key) {
            v[cat] = derived;
            tuned[cat] = false;
        } else if (!tuned[cat]) {
            v[cat] = derived;
        }
        keys[cat] = key;
    };
    settle(TuneCat::work, AuditMath::workKey(s), AuditMath::deriveWork(s));
    settle(TuneCat::upkeep, AuditMath::numberKey(s.upkeepDay), AuditMath::roundHalfHour(7 * s.upkeepDay));
    settle(TuneCat::family, AuditMath::numberKey(s.familyWk), s.familyWk);
    screen = AuditScreen::dash;
    ++revealNonce;
}

void AuditState::tune(TuneCat cat, int dir)
{
    if (dir == -1) {
        const double lowered = v[cat] - 0.5;
        v[cat] = lowered < 0 ? 0 : lowered;
    } else {
        v[cat] += 0.5;
    }
    tuned[cat] = true;
}

void AuditState::addActivity(const AuditActivity &activity)
{
    acts.append(activity);
}

void AuditState::removeActivity(int index)
{
    if (validIndex(index, acts.size()))
        acts.removeAt(index);
}

void AuditState::stepDraft(DraftKey key, int dir)
{
    const AuditPresets::StepperRange range = AuditPresets::draftStepper(key);
    draft[key] = std::clamp(draft[key] + range.step * dir, range.min, range.max);
}

void AuditState::yoursAdd()
{
    if (yoursCats.size() < AuditPresets::maxYoursCategories)
        yoursCats.append(YoursCategoryDraft{QString(), 1});
}

void AuditState::yoursRemove(int index)
{
    if (yoursCats.size() >= 2 && validIndex(index, yoursCats.size()))
        yoursCats.removeAt(index);
}

void AuditState::yoursSetName(int index, const QString &name)
{
    if (validIndex(index, yoursCats.size()))
        yoursCats[index].name = name;
}

void AuditState::yoursStepHours(int index, int dir)
{
    if (!validIndex(index, yoursCats.size()))
        return;
    YoursCategoryDraft &row = yoursCats[index];
    row.hours = std::max(row.hours + 0.5 * dir, 0.5);
}

void AuditState::hydrate(const ImportedAudit &imported)
{
    s = imported.s;
    acts = imported.acts;
    if (imported.yoursCats)
        yoursCats = *imported.yoursCats;
    enterDash();
}
