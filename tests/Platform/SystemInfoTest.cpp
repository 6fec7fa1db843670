#include "Platform/SystemInfo.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(SystemInfo, VersionsReadAsMajorMinorPatch)
{
    const std::pair<const char *, const char *> cases[] = {
        {"12", "12.0.0"},          {"12.5", "12.5.0"},          {"6.1.0-18-amd64", "6.1.0"},
        {"24.04.1 LTS", "24.4.1"}, {"1.2.3.4", "1.2.3"},       {"rolling", "0.0.0"},
        {"", "0.0.0"},
    };
    for (const auto &[given, expected] : cases)
        EXPECT_EQ(SystemInfo::majorMinorPatch(QString::fromLatin1(given)).toStdString(), expected) << given;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(SystemInfo::osVersion()).hasMatch());
    EXPECT_EQ(SystemInfo::platform(), QStringLiteral("linux"));
}

} // namespace
