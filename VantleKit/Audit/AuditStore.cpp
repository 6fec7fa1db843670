#include "VantleKit/Audit/AuditStore.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/VantAPIError.h"
#include "Platform/SystemLog.h"

#include <QPointer>

#include <cmath>
#include <exception>
#include <utility>

namespace {
// The application's log, which this layer reaches through the system log's router.
void logWarning(const QString &message)
{
    SystemLog::write(SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("audit"), message);
}

const QString networkErrorCode = QStringLiteral("network_error");

constexpr double kHoursADay = 24;
constexpr double kHoursAWeek = 168;
// The least a "yours" row can hold: its stepper never goes below half an hour.
constexpr double kLeastRowHours = 0.5;

// False for NaN as well: every comparison with it is false.
bool within(double value, double least, double most)
{
    return value >= least && value <= most;
}

bool notNegative(double value)
{
    return std::isfinite(value) && value >= 0;
}

// Whether every number a submission of `state` would carry, and every number the week
// arithmetic reads, is one an audit can hold. Without this a NaN sails through the
// comparisons of the validation and is sent as null, and a negative row sends a
// negative budget.
bool numbersInRange(const AuditState &state)
{
    const QuizAnswers &s = state.s;
    for (const double hour : {s.sleep, s.wake, s.leave, s.back, s.wfhHours, s.upkeepDay}) {
        if (!within(hour, 0, kHoursADay))
            return false;
    }
    if (!within(s.familyWk, 0, kHoursAWeek))
        return false;
    for (const TuneCat cat : allTuneCats) {
        if (!notNegative(state.v[cat]))
            return false;
    }
    for (const AuditActivity &activity : state.acts) {
        if (!notNegative(activity.times) || !notNegative(activity.len) || !notNegative(activity.over)
            || !notNegative(activity.weeklyHours()))
            return false;
    }
    for (const YoursCategoryDraft &row : state.yoursCats) {
        if (!std::isfinite(row.hours) || row.hours < kLeastRowHours)
            return false;
    }
    return std::isfinite(AuditMath::committed(state)) && std::isfinite(AuditMath::yoursTotal(state.yoursCats));
}
} // namespace

AuditStore::AuditStore(AuditState state, QString timezone, SubmitHandler submitHandler,
                       CompletionCallback onComplete, QObject *parent)
    : QObject(parent)
    , m_state(std::move(state))
    , m_submitHandler(std::move(submitHandler))
    , m_onComplete(std::move(onComplete))
    , m_timezone(std::move(timezone))
{
}

AuditStore::~AuditStore() = default;

void AuditStore::setState(AuditState state)
{
    if (m_state == state)
        return;
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

void AuditStore::setIsSubmitting(bool isSubmitting)
{
    if (m_isSubmitting == isSubmitting)
        return;
    m_isSubmitting = isSubmitting;
    Q_EMIT isSubmittingChanged(m_isSubmitting);
}

void AuditStore::setSubmitError(std::optional<QString> submitError)
{
    if (m_submitError == submitError)
        return;
    m_submitError = std::move(submitError);
    Q_EMIT submitErrorChanged();
}

template <typename Mutation>
void AuditStore::mutate(Mutation mutation)
{
    mutation(m_state);
    Q_EMIT stateChanged();
}

void AuditStore::show(AuditScreen screen)
{
    mutate([screen](AuditState &s) { s.screen = screen; });
}

void AuditStore::pickSleep(double hours)
{
    mutate([hours](AuditState &s) { s.pickSleep(hours); });
}

void AuditStore::pickWake(double hour)
{
    mutate([hour](AuditState &s) { s.pickWake(hour); });
}

void AuditStore::tuneSleep(int dir)
{
    mutate([dir](AuditState &s) { s.tuneSleep(dir); });
}

void AuditStore::toggleDay(int index)
{
    mutate([index](AuditState &s) { s.toggleDay(index); });
}

void AuditStore::pickLeave(double hour)
{
    mutate([hour](AuditState &s) { s.pickLeave(hour); });
}

void AuditStore::pickBack(double hour)
{
    mutate([hour](AuditState &s) { s.pickBack(hour); });
}

void AuditStore::pickWfhHours(double hours)
{
    mutate([hours](AuditState &s) { s.pickWfhHours(hours); });
}

void AuditStore::toggleWfh()
{
    mutate([](AuditState &s) { s.toggleWfh(); });
}

void AuditStore::pencilIn()
{
    mutate([](AuditState &s) { s.pencilIn(); });
}

void AuditStore::pickUpkeep(double hours)
{
    mutate([hours](AuditState &s) { s.pickUpkeep(hours); });
}

void AuditStore::pickFamily(double hours)
{
    mutate([hours](AuditState &s) { s.pickFamily(hours); });
}

void AuditStore::enterDash()
{
    mutate([](AuditState &s) { s.enterDash(); });
}

void AuditStore::tune(TuneCat cat, int dir)
{
    mutate([cat, dir](AuditState &s) { s.tune(cat, dir); });
}

void AuditStore::stepDraft(DraftKey key, int dir)
{
    mutate([key, dir](AuditState &s) { s.stepDraft(key, dir); });
}

void AuditStore::addActivity(AuditActivity activity)
{
    mutate([&activity](AuditState &s) { s.addActivity(activity); });
}

void AuditStore::removeActivity(int index)
{
    mutate([index](AuditState &s) { s.removeActivity(index); });
}

void AuditStore::yoursAdd()
{
    mutate([](AuditState &s) { s.yoursAdd(); });
}

void AuditStore::yoursRemove(int index)
{
    mutate([index](AuditState &s) { s.yoursRemove(index); });
}

void AuditStore::yoursSetName(int index, QString name)
{
    mutate([index, &name](AuditState &s) { s.yoursSetName(index, name); });
}

void AuditStore::yoursStepHours(int index, int dir)
{
    mutate([index, dir](AuditState &s) { s.yoursStepHours(index, dir); });
}

void AuditStore::hydrate(ImportedAudit imported)
{
    mutate([&imported](AuditState &s) { s.hydrate(imported); });
}

double AuditStore::committed() const
{
    return AuditMath::committed(m_state);
}

double AuditStore::yoursHours() const
{
    return AuditMath::weeklyWaking(m_state.s) - committed();
}

double AuditStore::weeklyWaking() const
{
    return AuditMath::weeklyWaking(m_state.s);
}

std::optional<int> AuditStore::questionNumber() const
{
    switch (m_state.screen) {
    case AuditScreen::sleep: return 1;
    case AuditScreen::work: return 2;
    case AuditScreen::upkeep: return 3;
    case AuditScreen::family: return 4;
    case AuditScreen::dash:
    case AuditScreen::yours: return std::nullopt;
    }
    return std::nullopt;
}

YoursValidation AuditStore::yoursValidation() const
{
    YoursValidation result;
    result.total = AuditMath::yoursTotal(m_state.yoursCats);
    for (const YoursCategoryDraft &row : m_state.yoursCats) {
        if (row.name.trimmed().isEmpty()) {
            result.unnamed = true;
            break;
        }
    }
    const double hours = yoursHours();
    result.over = hours < result.total;
    result.remaining = hours - result.total;
    result.outOfRange = !numbersInRange(m_state);
    result.valid = !m_state.yoursCats.isEmpty() && !result.unnamed && !result.over && !result.outOfRange;
    return result;
}

QCoro::Task<void> AuditStore::submit()
{
    if (!yoursValidation().valid || m_isSubmitting)
        co_return;

    // A successful submission refreshes the ledger, which can take down the view that owns
    // this store while the handler is still suspended: after every suspension (and every
    // signal, whose receivers may delete us) nothing of the store is touched unless it lives.
    QPointer<AuditStore> self(this);
    setIsSubmitting(true);
    if (!self)
        co_return;
    setSubmitError(std::nullopt);
    if (!self)
        co_return;

    std::optional<QString> failure;
    try {
        AuditSubmission submission = AuditMath::buildSubmitBody(m_state, m_timezone);
        // The frame keeps its own copy of the handler, so whatever the handler captured
        // stays alive for its whole run even when the store does not.
        SubmitHandler handler = m_submitHandler;
        if (!handler)
            throw std::logic_error("the audit store has no submit handler");
        co_await handler(std::move(submission));
    } catch (const VantAPIError &error) {
        failure = error.code();
    } catch (const std::exception &error) {
        logWarning(QStringLiteral("audit_submit_failed error=") + QString::fromUtf8(error.what()));
        failure = networkErrorCode;
    } catch (...) {
        failure = networkErrorCode;
    }

    if (!self)
        co_return;

    if (!failure) {
        // Stays submitting with no error: the audit cannot be sent a second time.
        CompletionCallback onComplete = m_onComplete;
        if (onComplete) {
            try {
                onComplete();
            } catch (...) {
                logWarning(QStringLiteral("audit_completion_failed"));
            }
        }
        co_return;
    }

    setSubmitError(std::move(failure));
    if (!self)
        co_return;
    setIsSubmitting(false);
}
