#include "Platform/ApplicationFont.h"

#include <QApplication>
#include <QLoggingCategory>

#include <gtest/gtest.h>

// One QApplication for every test binary, on the offscreen platform unless the
// caller chose another (a screenshot run under Xvfb sets "xcb").
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("OrvalenTests"));
    QApplication::setApplicationName(QStringLiteral("VantleTests"));
    // Views are measured and drawn in the fonts the application uses.
    ApplicationFont::apply();
    return RUN_ALL_TESTS();
}
