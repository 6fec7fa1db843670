#pragma once

#include "Platform/UpdaterUserDriver.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace TestSupport {

// The person in front of the updater's windows: answers each offer as scripted and
// acknowledges each outcome, on a later turn of the event loop as a person would; or
// holds every window open until the test answers. Keeps what it was shown.
class ScriptedUpdaterUser final : public UpdaterUserDriver {
public:
    enum class Behaviour {
        download, // takes the offer
        later,    // declines it
        hold,     // leaves the window open
    };

    struct Shown {
        QString kind; // "offer", "up to date", "error"
        Offer offer;  // for "offer"
        UpdateCheck check = UpdateCheck::background;
        QString text;  // the outcome's description
        QString domain;
    };

    explicit ScriptedUpdaterUser(Behaviour behaviour = Behaviour::later) : m_behaviour(behaviour) {}

    void setBehaviour(Behaviour behaviour) { m_behaviour = behaviour; }
    QList<Shown> shown() const { return m_shown; }
    int dismissals() const { return m_dismissals; }
    bool isHolding() const { return static_cast<bool>(m_pending); }
    // Answers the held window (the choice is ignored for outcomes).
    void answerHeld(Choice choice);

    void showUpdateFound(const Offer &offer, UpdateCheck check, std::function<void(Choice)> reply) override;
    void showUpdateNotFound(const UpdaterError &error, std::function<void()> acknowledged) override;
    void showUpdaterError(const UpdaterError &error, std::function<void()> acknowledged) override;
    void dismiss() override;

private:
    void respond(std::function<void(Choice)> reply);

    Behaviour m_behaviour;
    QList<Shown> m_shown;
    int m_dismissals = 0;
    std::function<void(Choice)> m_pending;
    QObject m_context;
};

} // namespace TestSupport
