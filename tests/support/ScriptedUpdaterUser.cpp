#include "support/ScriptedUpdaterUser.h"

#include <QTimer>

#include <utility>

namespace TestSupport {

void ScriptedUpdaterUser::answerHeld(Choice choice)
{
    if (auto reply = std::exchange(m_pending, nullptr))
        reply(choice);
}

void ScriptedUpdaterUser::showUpdateFound(const Offer &offer, UpdateCheck check, std::function<void(Choice)> reply)
{
    Shown shown;
    shown.kind = QStringLiteral("offer");
    shown.offer = offer;
    shown.check = check;
    m_shown.append(shown);
    respond(std::move(reply));
}

void ScriptedUpdaterUser::showUpdateNotFound(const UpdaterError &error, std::function<void()> acknowledged)
{
    m_shown.append({QStringLiteral("up to date"), {}, UpdateCheck::userInitiated, error.localizedDescription(),
                    error.domain()});
    respond([acknowledged = std::move(acknowledged)](Choice) { acknowledged(); });
}

void ScriptedUpdaterUser::showUpdaterError(const UpdaterError &error, std::function<void()> acknowledged)
{
    m_shown.append({QStringLiteral("error"), {}, UpdateCheck::userInitiated, error.localizedDescription(),
                    error.domain()});
    respond([acknowledged = std::move(acknowledged)](Choice) { acknowledged(); });
}

void ScriptedUpdaterUser::dismiss()
{
    ++m_dismissals;
    m_pending = nullptr;
}

void ScriptedUpdaterUser::respond(std::function<void(Choice)> reply)
{
    if (m_behaviour == Behaviour::hold) {
        m_pending = std::move(reply);
        return;
    }
    const Choice choice = m_behaviour == Behaviour::download ? Choice::download : Choice::later;
    QTimer::singleShot(0, &m_context, [reply = std::move(reply), choice]() { reply(choice); });
}

} // namespace TestSupport
