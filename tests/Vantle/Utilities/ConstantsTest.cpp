#include "Vantle/Utilities/Constants.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

// Restores an environment variable when the test ends, whatever it set.
class EnvGuard {
public:
    explicit EnvGuard(const char *name) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {}
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(Constants, FixedValues)
{
    EXPECT_EQ(Constants::Auth::redirectURI().toString(), QStringLiteral("vantle://auth/callback"));
    EXPECT_FALSE(Constants::version().isEmpty());
}

TEST(Constants, ServiceAddressesFollowTheEnvironment)
{
    EnvGuard authority("VANTLE_AUTHORITY_URL");
    EnvGuard identity("VANTLE_IDENTITY_URL");
    EnvGuard ledger("VANTLE_LEDGER_URL");
    qputenv("VANTLE_AUTHORITY_URL", "http://127.0.0.1:4101/");
    qputenv("VANTLE_IDENTITY_URL", "http://127.0.0.1:4102");
    qputenv("VANTLE_LEDGER_URL", "http://127.0.0.1:4103/v1/");
    EXPECT_EQ(Constants::Auth::authorityURL().toString(), QStringLiteral("http://127.0.0.1:4101"));
    EXPECT_EQ(Constants::Auth::identityURL().toString(), QStringLiteral("http://127.0.0.1:4102"));
    EXPECT_EQ(Constants::API::baseURL().toString(), QStringLiteral("http://127.0.0.1:4103/v1"));
    EXPECT_EQ(Constants::API::auditURL().toString(), QStringLiteral("http://127.0.0.1:4103/v1/audit"));
    qputenv("VANTLE_LEDGER_URL", "http://127.0.0.1:4103");
    EXPECT_EQ(Constants::API::auditURL().toString(), QStringLiteral("http://127.0.0.1:4103/audit"));
}

} // namespace
