#include "base/QtScheduler.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "tests/support/XvfbServer.h"
#include "touch/DisplaySelection.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

class XRandrDisplayServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.isRunning())
            GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
        QString error;
        displays = XRandrDisplayServices::open(&error, server.displayName().constData());
        ASSERT_TRUE(displays) << error.toStdString();
    }

    // Two 1920x1080 monitors side by side on one 3840x1080 screen.
    void splitIntoTwoMonitors(const QString& rightName = QStringLiteral("RIGHT"))
    {
        QString output;
        ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "LEFT", "1920/508x1080/286+0+0", "screen"},
                                   &output), 0) << output.toStdString();
        ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", rightName, "1920/508x1080/286+1920+0", "none"},
                                   &output), 0) << output.toStdString();
    }

    XvfbServer server{3840, 1080};
    std::unique_ptr<XRandrDisplayServices> displays;
};

TEST_F(XRandrDisplayServicesTest, OneScreenIsOneMainDisplay)
{
    const auto ids = displays->activeDisplays();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(displays->mainDisplay(), ids[0]);
    EXPECT_EQ(displays->displayBounds(ids[0]), QRectF(0, 0, 3840, 1080));
    EXPECT_EQ(displays->displayPixelSize(ids[0]), QSize(3840, 1080));
    EXPECT_TRUE(displays->displayBounds(ids[0] + 1).isEmpty());
}

TEST_F(XRandrDisplayServicesTest, MonitorsKeepTheirIDsAndChangesAreReported)
{
    QSignalSpy changed(displays.get(), &XRandrDisplayServices::displaysChanged);
    splitIntoTwoMonitors();
    EXPECT_TRUE(changed.wait(3000));

    const auto left = XRandrDisplayServices::idForMonitorName("LEFT");
    const auto right = XRandrDisplayServices::idForMonitorName("RIGHT");
    ASSERT_NE(left, right);
    auto ids = displays->activeDisplays();
    std::sort(ids.begin(), ids.end());
    auto expected = std::vector<DisplayServices::DisplayID>{left, right};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(displays->displayBounds(left), QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displays->displayBounds(right), QRectF(1920, 0, 1920, 1080));
    EXPECT_EQ(displays->monitorName(right), QStringLiteral("RIGHT"));

    // A second connection (a restart) sees the same IDs, so a stored
    // selection still finds its monitor.
    QString error;
    auto again = XRandrDisplayServices::open(&error, server.displayName().constData());
    ASSERT_TRUE(again);
    const QString stored = QStringLiteral("display:%1").arg(right);
    EXPECT_EQ(DisplaySelection::selectedDisplayID(*again, stored), right);
    EXPECT_EQ(DisplaySelection::targetDisplayBounds(*again, stored), QRectF(1920, 0, 1920, 1080));
}

TEST_F(XRandrDisplayServicesTest, PrimaryMonitorIsTheMainDisplay)
{
    splitIntoTwoMonitors(QStringLiteral("*RIGHT"));
    EXPECT_EQ(displays->mainDisplay(), XRandrDisplayServices::idForMonitorName("RIGHT"));
    // "secondary" is then the left-hand one.
    EXPECT_EQ(DisplaySelection::selectedDisplayID(*displays, "secondary"),
              XRandrDisplayServices::idForMonitorName("LEFT"));
}

} // namespace

#include "platform/linux/EventSinkFactory.h"

namespace {

TEST_F(XRandrDisplayServicesTest, AutomaticBackendOnAnXDisplayIsXTest)
{
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    const QByteArray oldWayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray oldType = qgetenv("XDG_SESSION_TYPE");
    qputenv("DISPLAY", server.displayName());
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    QtScheduler scheduler;
    auto result = EventSinkFactory::create("auto", scheduler, *displays, "/nonexistent/uinput");
    EXPECT_TRUE(result.sink);
    EXPECT_EQ(result.backend, EventSinkFactory::Backend::XTest);
    EXPECT_FALSE(result.error);
    result.sink.reset();
    for (const auto& [name, value] : {std::pair{"DISPLAY", oldDisplay}, std::pair{"WAYLAND_DISPLAY", oldWayland},
                                      std::pair{"XDG_SESSION_TYPE", oldType}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

} // namespace
