#include "OrvalenAccount/Internal/Semver.h"

#include <gtest/gtest.h>

TEST(Semver, Compare)
{
    struct Case {
        const char *a;
        const char *b;
        int expected;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1},     {"2", "2.0.0", 0},         {"1.2", "1.2.1", -1},
        {"", "0", 0},           {"1.2.3-beta", "1.2.0", 0}, {"1..2", "1.2", 0},
        {".1.", "1", 0},        {"1.-1", "1.0", -1},        {"1.+2", "1.2", 0},
        {"2.0", "10.0", -1},    {"1.a.3", "1.0.3", 0},      {"3.0.0", "2.99.99", 1},
        {"1.2.3.4", "1.2.3", 1}, {"99999999999999999999", "0", 0},
        {"3\n", "0", 0},        {"2.1\n", "2.0", 0},       // only a whole piece is a number
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Semver::compare(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.expected)
            << c.a << " vs " << c.b;
        EXPECT_EQ(Semver::compare(QString::fromUtf8(c.b), QString::fromUtf8(c.a)), -c.expected)
            << c.b << " vs " << c.a;
    }
}
