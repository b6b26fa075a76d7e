#include "tests/support/DesktopSession.h"

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// Desktop tests on two monitors (TwoMonitorDesktop.h), split before the
// application connects to the server.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        QCoreApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    auto session = std::make_unique<DesktopSession>();
    if (session->isRunning()) {
        XvfbServer& server = session->server();
        const bool split = server.runClient("xrandr", {"--setmonitor", "*LEFT", "600/159x900/238+0+0", "screen"}) == 0
                           && server.runClient("xrandr", {"--setmonitor", "RIGHT", "1000/265x900/238+600+0", "none"}) == 0;
        if (!split)
            std::fprintf(stderr, "xrandr could not split the screen\n");
        qputenv("DISPLAY", session->displayName());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        std::fprintf(stderr, "no desktop for the tests: %s\n", qPrintable(session->error()));
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
