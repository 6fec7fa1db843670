#pragma once

#include "VantleKit/Audit/AuditState.h"
#include "VantleKit/Audit/AuditSubmission.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The checks of the "yours" step over the current rows.
struct YoursValidation {
    double total = 0;     // hours of all rows
    bool over = false;    // the rows ask for more than the hours left
    bool unnamed = false; // some row has no name besides white space
    bool valid = false;   // at least one row, all named, not over, nothing out of range
    double remaining = 0; // hours left after the rows (negative when over)
    // Some number the submission would carry is not finite or lies outside what a day or a
    // week can hold (only an import or a direct write of the state can bring one): a row of
    // less than half an hour, a night of more than 24 hours, a negative dashboard value...
    bool outOfRange = false;

    bool operator==(const YoursValidation &) const = default;
};

// The one live object of an Hour Audit run, confined to the GUI thread: it owns the
// audit's state, runs the screens' intents on it, and performs the single submission
// through the handler its host gives it. It knows no network and no view.
class AuditStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSubmitting READ isSubmitting WRITE setIsSubmitting NOTIFY isSubmittingChanged)
    Q_PROPERTY(std::optional<QString> submitError READ submitError WRITE setSubmitError NOTIFY submitErrorChanged)

public:
    // Sends a submission; a thrown VantAPIError's code becomes the submit error, any other
    // failure "network_error". The handler may outlive the store: it must not refer to it.
    using SubmitHandler = std::function<QCoro::Task<void>(AuditSubmission)>;
    using CompletionCallback = std::function<void()>;

    AuditStore(AuditState state, QString timezone, SubmitHandler submitHandler, CompletionCallback onComplete,
               QObject *parent = nullptr);
    ~AuditStore() override;

    const AuditState &state() const { return m_state; }
    void setState(AuditState state);
    bool isSubmitting() const { return m_isSubmitting; }
    void setIsSubmitting(bool isSubmitting);
    std::optional<QString> submitError() const { return m_submitError; }
    void setSubmitError(std::optional<QString> submitError);
    QString timezone() const { return m_timezone; }

    // Intents of the screens. Each one is a change of `state` that observers hear of,
    // also when a limit or a bad index leaves the value as it was.
    void show(AuditScreen screen);
    void pickSleep(double hours);
    void pickWake(double hour);
    void tuneSleep(int dir);
    void toggleDay(int index);
    void pickLeave(double hour);
    void pickBack(double hour);
    void pickWfhHours(double hours);
    void toggleWfh();
    void pencilIn();
    void pickUpkeep(double hours);
    void pickFamily(double hours);
    void enterDash();
    void tune(TuneCat cat, int dir);
    void stepDraft(DraftKey key, int dir);
    void addActivity(AuditActivity activity);
    void removeActivity(int index);
    void yoursAdd();
    void yoursRemove(int index);
    void yoursSetName(int index, QString name);
    void yoursStepHours(int index, int dir);
    void hydrate(ImportedAudit imported);

    // Derived from `state` on every read.
    double committed() const;
    double yoursHours() const;
    double weeklyWaking() const;
    // 1 to 4 on the question screens, nothing on the dashboard and the "yours" step.
    std::optional<int> questionNumber() const;
    YoursValidation yoursValidation() const;

    // Sends the audit once. Does nothing while the "yours" rows are not valid, while a
    // submission runs, or after one succeeded. Never throws.
    QCoro::Task<void> submit();

Q_SIGNALS:
    void stateChanged();
    void isSubmittingChanged(bool isSubmitting);
    void submitErrorChanged();

private:
    template <typename Mutation>
    void mutate(Mutation mutation);

    AuditState m_state;
    bool m_isSubmitting = false;
    std::optional<QString> m_submitError;
    SubmitHandler m_submitHandler;
    CompletionCallback m_onComplete;
    QString m_timezone;
};
