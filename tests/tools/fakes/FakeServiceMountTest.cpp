#include "HttpFetch.h"
#include "tools/fakes/FakeService.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Fakes::FakeService;
using Fakes::ScriptedAnswer;

// Several remote services live on one host (the identity service also takes
// diagnostics, error events and the region probe); their fakes share one address.
TEST(FakeServiceMount, PathsOfAGuestAreServedAtTheHostsAddress)
{
    FakeService host;
    FakeService guest;
    host.mount(&guest);
    host.on(QStringLiteral("GET"), QStringLiteral("/api/whoami"), ScriptedAnswer::json(200, R"({"who":"host"})"));
    guest.on(QStringLiteral("POST"), QStringLiteral("/api/error-events"), ScriptedAnswer::json(202, R"({"who":"guest"})"));
    guest.on(QStringLiteral("GET"), QStringLiteral("/api/whoami"), ScriptedAnswer::json(200, R"({"who":"guest"})"));

    struct Case {
        QString method;
        QString path;
        int status;
        QString who;
        int hostRecords;
        int guestRecords;
    };
    const Case cases[] = {
        {"GET", "/api/whoami", 200, "host", 1, 0},        // the host's own route wins
        {"POST", "/api/error-events", 202, "guest", 1, 1}, // the host had none: the guest answers
        {"GET", "/nowhere", 404, "", 1, 1},                // neither: not found
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        host.clearRequests();
        guest.clearRequests();
        const HttpFetch answer = HttpFetch::run(c.method, host.url(c.path), "{}", {}, "application/json");
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.json().value("who").toString(), c.who);
        EXPECT_EQ(host.requests().size(), c.hostRecords);
        EXPECT_EQ(guest.requests().size(), c.guestRecords);
    }
}

// The fakes answer from the event loop: a route that throws must fail its own request,
// not the process the service (or the whole local stack) runs in.
TEST(FakeServiceMount, ARouteThatThrowsAnswersAServerFaultAndTheServiceStaysUp)
{
    FakeService host;
    FakeService guest;
    host.mount(&guest);
    host.on(QStringLiteral("GET"), QStringLiteral("/own"), [](const Fakes::RecordedRequest &) -> ScriptedAnswer {
        throw std::runtime_error("a broken route");
    });
    guest.on(QStringLiteral("GET"), QStringLiteral("/guest"), [](const Fakes::RecordedRequest &) -> ScriptedAnswer {
        throw 42;
    });
    host.on(QStringLiteral("GET"), QStringLiteral("/fine"), ScriptedAnswer::json(200, R"({"who":"host"})"));

    const struct {
        const char *path;
        int status;
    } cases[] = {{"/own", 500}, {"/guest", 500}, {"/fine", 200}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const HttpFetch answer = HttpFetch::run(QStringLiteral("GET"), host.url(QString::fromLatin1(c.path)));
        EXPECT_EQ(answer.status, c.status);
    }
}
