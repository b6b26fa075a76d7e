#include "tests/support/DesktopSession.h"

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// Desktop tests run in one QApplication on a private Xvfb managed by
// openbox. Listing the tests needs neither.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        QCoreApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    auto session = std::make_unique<DesktopSession>();
    if (session->isRunning()) {
        qputenv("DISPLAY", session->displayName());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        // The tests skip; the application still needs a platform.
        std::fprintf(stderr, "no desktop for the tests: %s\n", qPrintable(session->error()));
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
