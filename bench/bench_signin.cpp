// The whole browser sign-in against the loopback fakes (discovery, the browser following
// the authority's redirect, the code exchange, storing the session, publishing the state)
// against the bare HTTP round trips it needs: the discovery GET and the exchange POST.
// The run prints how much the sign-in costs on top of them; the goal is at most 2.

#include "bench/BenchRatio.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenAccountManager.h"
#include "Platform/InMemoryKeychain.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeBrowser.h"
#include "tools/fakes/FakeIdentityService.h"

#include <benchmark/benchmark.h>

#include <QCoro/QCoroNetworkReply>
#include <QEventLoop>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Fakes::FakeAuthority;
using Fakes::FakeIdentityService;

double fastest(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void measured(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Repetitions(9)->ComputeStatistics("min", fastest)->DisplayAggregatesOnly(true)->UseRealTime()->Unit(
        benchmark::kMillisecond);
}

// Runs a coroutine to its end on a nested event loop.
template <typename T>
bool finish(QCoro::Task<T> task)
{
    bool done = false;
    bool failed = false;
    QEventLoop loop;
    auto drive = [](QCoro::Task<T> running, bool *doneFlag, bool *failedFlag, QEventLoop *waiting) -> QCoro::Task<void> {
        try {
            co_await std::move(running);
        } catch (...) {
            *failedFlag = true;
        }
        *doneFlag = true;
        waiting->quit();
    };
    QCoro::Task<void> driver = drive(std::move(task), &done, &failed, &loop);
    if (!done)
        loop.exec();
    return !failed;
}

struct Services {
    FakeAuthority authority;
    FakeIdentityService identity;
    QNetworkAccessManager network;

    Services() { identity.setAuthority(&authority); }

    OrvalenConfig config()
    {
        OrvalenConfig c;
        c.authorityURL = authority.issuer();
        c.identityURL = identity.baseUrl();
        c.appSlug = QStringLiteral("vantle");
        c.clientID = QStringLiteral("vantle");
        c.clientVersion = QStringLiteral("1.0.0");
        c.libVersion = OrvalenAccountLibrary::libVersion;
        c.redirectURI = QUrl(QStringLiteral("vantle://auth/callback"));
        c.scopes = {QStringLiteral("orvalen.account")};
        c.urlSession = &network;
        c.installID = QStringLiteral("dev_bench");
        return c;
    }
};

// Made in main(), inside the application's lifetime.
Services *g_services = nullptr;

Services &services()
{
    return *g_services;
}

using Reply = std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)>;
void later(QNetworkReply *reply)
{
    reply->deleteLater();
}

QCoro::Task<void> bareRoundTrips(QNetworkAccessManager *network, QUrl discovery, QUrl exchange, QByteArray body)
{
    Reply first(network->get(QNetworkRequest(discovery)), later);
    co_await qCoro(first.get()).waitForFinished();
    QJsonDocument::fromJson(first->readAll());
    QNetworkRequest post(exchange);
    post.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    Reply second(network->post(post, body), later);
    co_await qCoro(second.get()).waitForFinished();
    QJsonDocument::fromJson(second->readAll());
}

void BM_BareRoundTrips(benchmark::State &state)
{
    Services &s = services();
    // The fake refuses an exchange without a matching authorization; the baseline is the
    // round trip itself, so it posts where every answer is a plain 200.
    Fakes::FakeService plain;
    const QByteArray document = [&] {
        QJsonObject object{{QStringLiteral("issuer"), s.authority.issuer().toString()}};
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }();
    plain.on(QStringLiteral("GET"), FakeAuthority::discoveryPath, Fakes::ScriptedAnswer::json(200, document));
    const QByteArray session = QJsonDocument(s.identity.issueSession(QStringLiteral("vantle"))).toJson(QJsonDocument::Compact);
    plain.on(QStringLiteral("POST"), FakeIdentityService::exchangePath, Fakes::ScriptedAnswer::json(200, session));
    const QByteArray body = R"({"app_slug":"vantle","code":"c0de","code_verifier":"v","redirect_uri":"vantle://auth/callback"})";
    for (auto _ : state) {
        if (!finish(bareRoundTrips(&s.network, plain.url(FakeAuthority::discoveryPath),
                                   plain.url(FakeIdentityService::exchangePath), body)))
            state.SkipWithError("round trip failed");
        state.PauseTiming();
        plain.clearRequests();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareRoundTrips)->Apply(measured);

void BM_BrowserSignIn(benchmark::State &state)
{
    Services &s = services();
    auto keychain = std::make_shared<InMemoryKeychain>();
    std::unique_ptr<OrvalenAccountManager> manager;
    Fakes::FakeBrowser browser([&manager](const QUrl &url) { return manager && manager->resume(url); });
    OrvalenAccountManager::Environment environment;
    environment.keychain = keychain;
    environment.dpop.keychain = keychain;
    for (auto _ : state) {
        // A manager per sign-in: one would soon meet its identity throttle's per-minute budget.
        state.PauseTiming();
        manager.reset();
        manager = std::make_unique<OrvalenAccountManager>(s.config(), environment);
        s.authority.clearRequests();
        s.identity.clearRequests();
        state.ResumeTiming();
        if (!finish(manager->signInViaSystemBrowser(OAuthDriver::ProviderHint::google, std::nullopt)))
            state.SkipWithError("sign-in failed");
    }
    manager.reset();
}
BENCHMARK(BM_BrowserSignIn)->Apply(measured);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Services instance;
    g_services = &instance;
    const auto print = [](double bare, double signIn) {
        const double ratio = signIn / bare;
        std::printf("browser sign-in / bare round trips: %.3f (target <= 2) %s\n", ratio,
                    ratio <= 2.0 ? "ok" : "OVER TARGET");
    };
    BenchRatio reporter("BM_BareRoundTrips", "BM_BrowserSignIn", BenchRatio::realTime(), print);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_services = nullptr;
    return 0;
}
