#include "tests/support/DesktopSession.h"

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// Desktop tests run in one QApplication on a private Xvfb managed by
// openbox. Listing the tests needs neither. Built with
// VELOTAP_TWO_MONITORS (TwoMonitorDesktopMain.cpp), the screen is split
// into the monitors of TwoMonitorDesktop.h before the application connects.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        QCoreApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    auto session = std::make_unique<DesktopSession>();
    if (session->isRunning()) {
#ifdef VELOTAP_TWO_MONITORS
        XvfbServer& server = session->server();
        if (server.runClient("xrandr", {"--setmonitor", "*LEFT", "600/159x900/238+0+0", "screen"}) != 0
            || server.runClient("xrandr", {"--setmonitor", "RIGHT", "1000/265x900/238+600+0", "none"}) != 0)
            std::fprintf(stderr, "xrandr could not split the screen\n");
#endif
        qputenv("DISPLAY", session->displayName());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        // The tests skip; the application still needs a platform.
        std::fprintf(stderr, "no desktop for the tests: %s\n", qPrintable(session->error()));
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
