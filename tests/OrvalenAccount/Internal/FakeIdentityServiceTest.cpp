#include "OrvalenAccount/DPoPSigner.h"
#include "Platform/InMemoryKeychain.h"
#include "tools/fakes/FakeIdentityService.h"

#include <gtest/gtest.h>

using Fakes::FakeIdentityService;

// The fake's proof check is what the integration tests rely on to say "every proof
// verifies"; it must reject proofs that do not fit their request.
TEST(FakeIdentityServiceProofCheck, RejectsProofsThatDoNotFitTheirRequest)
{
    DPoPSigner::Environment environment;
    environment.keychain = std::make_shared<InMemoryKeychain>();
    const DPoPSigner signer(environment);
    const QUrl url(QStringLiteral("http://127.0.0.1:4000/api/sessions/revoke"));
    const QByteArray proof = signer.generateProof(url, QStringLiteral("post"), QStringLiteral("oas_1")).toUtf8();
    const QByteArray other =
        signer.generateProof(url, QStringLiteral("GET"), QStringLiteral("oas_1")).toUtf8();
    const QList<QByteArray> parts = proof.split('.');
    QByteArray badSignature = parts[2];
    badSignature[5] = badSignature[5] == 'A' ? 'B' : 'A';
    const QDateTime now = QDateTime::currentDateTimeUtc();

    struct Case {
        const char *name;
        QByteArray proof;
        QString method;
        QUrl url;
        std::optional<QByteArray> bearer;
        QDateTime now;
        bool valid;
    };
    const Case cases[] = {
        {"fits", proof, QStringLiteral("POST"), url, QByteArray("oas_1"), now, true},
        {"query is not part of htu", proof, QStringLiteral("POST"),
         QUrl(url.toString() + QStringLiteral("?x=1")), QByteArray("oas_1"), now, true},
        {"other method", proof, QStringLiteral("GET"), url, QByteArray("oas_1"), now, false},
        {"other path", proof, QStringLiteral("POST"), QUrl(QStringLiteral("http://127.0.0.1:4000/api/other")),
         QByteArray("oas_1"), now, false},
        {"other bearer", proof, QStringLiteral("POST"), url, QByteArray("oas_2"), now, false},
        {"stale", proof, QStringLiteral("POST"), url, QByteArray("oas_1"), now.addSecs(600), false},
        {"signature altered", parts[0] + '.' + parts[1] + '.' + badSignature, QStringLiteral("POST"), url,
         QByteArray("oas_1"), now, false},
        {"claims swapped", parts[0] + '.' + other.split('.')[1] + '.' + parts[2], QStringLiteral("GET"), url,
         QByteArray("oas_1"), now, false},
        {"not a JWS", QByteArray("abc.def"), QStringLiteral("POST"), url, QByteArray("oas_1"), now, false},
    };
    for (const Case &c : cases) {
        const auto check = FakeIdentityService::verifyProof(c.proof, c.method, c.url, c.bearer, c.now);
        EXPECT_EQ(check.valid, c.valid) << c.name << ": " << check.failure.toStdString();
    }
}
