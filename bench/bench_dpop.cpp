// One DPoP proof against one bare ECDSA P-256 signature of the same signing input.
// The proof adds the claims, a random identifier, the token hash, base64url and the
// DER-to-JOSE conversion to the signature; the run prints how much that costs.

#include "bench/BenchRatio.h"
#include "OrvalenAccount/DPoPSigner.h"
#include "Platform/InMemoryKeychain.h"

#include <openssl/evp.h>

#include <benchmark/benchmark.h>

#include <QUrl>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Other work on the machine only ever slows a repetition down, so the ratio compares the
// fastest of several repetitions of each.
double fastest(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void measured(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Repetitions(9)->ComputeStatistics("min", fastest);
}

const QUrl requestUrl(QStringLiteral("https://id.orvalen.dev/api/sessions/refresh?app=vantle"));
const QString accessToken = QStringLiteral("oas_3f1c2e9a7b5d4c8e9f0a1b2c3d4e5f60718293a4b5c6d7e8f9");

DPoPSigner &signer()
{
    static DPoPSigner instance([] {
        DPoPSigner::Environment env;
        env.keychain = std::make_shared<InMemoryKeychain>();
        return env;
    }());
    return instance;
}

// The signing input (header.claims) of one real proof: the bare signature signs the same bytes.
QByteArray signingInput()
{
    const QString proof = signer().generateProof(requestUrl, QStringLiteral("POST"), accessToken);
    return proof.left(proof.lastIndexOf(QLatin1Char('.'))).toLatin1();
}

void BM_BareECDSASignature(benchmark::State &state)
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    const QByteArray input = signingInput();
    std::array<unsigned char, 80> der{};
    // The digest fetched once, as the signer does.
    EVP_MD *sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    for (auto _ : state) {
        EVP_MD_CTX *context = EVP_MD_CTX_new();
        std::size_t length = der.size();
        EVP_DigestSignInit(context, nullptr, sha256, nullptr, key);
        EVP_DigestSign(context, der.data(), &length, reinterpret_cast<const unsigned char *>(input.constData()),
                       static_cast<std::size_t>(input.size()));
        EVP_MD_CTX_free(context);
        benchmark::DoNotOptimize(der.data());
        benchmark::DoNotOptimize(length);
    }
    EVP_MD_free(sha256);
    EVP_PKEY_free(key);
}
BENCHMARK(BM_BareECDSASignature)->Apply(measured);

void BM_DPoPProof(benchmark::State &state)
{
    const DPoPSigner &instance = signer();
    for (auto _ : state) {
        QString proof = instance.generateProof(requestUrl, QStringLiteral("POST"), accessToken);
        benchmark::DoNotOptimize(proof);
    }
}
BENCHMARK(BM_DPoPProof)->Apply(measured);

} // namespace

int main(int argc, char **argv)
{
    BenchRatio::initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto print = [](const Spread &, const Spread &, const Spread &ratio) {
        std::printf("DPoP proof / bare ECDSA signature: %s (target <= 1.5) %s\n", ratio.text("%.3f").c_str(),
                    ratio.median <= 1.5 ? "ok" : "OVER TARGET");
    };
    BenchRatio reporter("BM_BareECDSASignature", "BM_DPoPProof", BenchRatio::cpuTime(), print);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
