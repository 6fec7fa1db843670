#include "VantleKit/Audit/AuditText.h"

#include <gtest/gtest.h>

namespace {

QString repeated(const QString &unit, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += unit;
    return out;
}

const QString kFamily = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"); // 👨‍👩‍👧‍👦
const QString kFlag = QStringLiteral("\U0001F1EB\U0001F1F7");                                      // 🇫🇷
const QString kThumbTone = QStringLiteral("\U0001F44D\U0001F3FD");                                 // 👍🏽
const QString kECombined = QStringLiteral("e\u0301\u0323");                                        // e + two marks
const QString kRainbowFlag = QStringLiteral("\U0001F3F3\uFE0F\u200D\U0001F308");                  // 🏳️‍🌈

TEST(AuditText, CountsUserPerceivedCharacters)
{
    struct Case {
        const char *label;
        QString text;
        int expected;
    };
    const Case cases[] = {
        {"empty", QString(), 0},
        {"ascii", QStringLiteral("Gym"), 3},
        {"family ZWJ sequence", kFamily, 1},
        {"flag", kFlag, 1},
        {"two flags", kFlag + kFlag, 2},
        {"skin tone", kThumbTone, 1},
        {"combining marks", kECombined, 1},
        {"rainbow flag", kRainbowFlag, 1},
        {"mixed", QStringLiteral("a") + kFamily + QStringLiteral("b") + kFlag, 4},
        {"CRLF is one", QStringLiteral("a\r\nb"), 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditText::graphemeCount(c.text), c.expected) << c.label;
}

TEST(AuditText, CutsWholeClustersOnly)
{
    struct Case {
        const char *label;
        QString text;
        int max;
        QString expected;
    };
    const QString forty = repeated(QStringLiteral("x"), 40);
    const Case cases[] = {
        {"exactly 40 stays", forty, 40, forty},
        {"41 loses the last", forty + QStringLiteral("y"), 40, forty},
        {"100 pasted", repeated(QStringLiteral("ab"), 50), 40, repeated(QStringLiteral("ab"), 20)},
        {"39 ascii + family: family kept whole", repeated(QStringLiteral("x"), 39) + kFamily + QStringLiteral("z"), 40,
         repeated(QStringLiteral("x"), 39) + kFamily},
        {"40 ascii + family: family dropped whole", forty + kFamily, 40, forty},
        {"40 families stay", repeated(kFamily, 40), 40, repeated(kFamily, 40)},
        {"41 families keep 40", repeated(kFamily, 41), 40, repeated(kFamily, 40)},
        {"41 flags keep 40 (never half a pair)", repeated(kFlag, 41), 40, repeated(kFlag, 40)},
        {"skin tones", repeated(kThumbTone, 45), 40, repeated(kThumbTone, 40)},
        {"combining marks", repeated(kECombined, 41), 40, repeated(kECombined, 40)},
        {"rainbow flags", repeated(kRainbowFlag, 41), 40, repeated(kRainbowFlag, 40)},
        {"short text", QStringLiteral("Gym"), 40, QStringLiteral("Gym")},
        {"zero", QStringLiteral("Gym"), 0, QString()},
        {"negative", QStringLiteral("Gym"), -1, QString()},
        {"empty", QString(), 40, QString()},
    };
    for (const auto &c : cases) {
        const QString cut = AuditText::truncatedToGraphemes(c.text, c.max);
        EXPECT_EQ(cut, c.expected) << c.label;
        EXPECT_LE(AuditText::graphemeCount(cut), std::max(c.max, 0)) << c.label;
        // No cut ever ends in a lone high surrogate.
        if (!cut.isEmpty()) {
            EXPECT_FALSE(cut.back().isHighSurrogate()) << c.label;
        }
    }
}

} // namespace
