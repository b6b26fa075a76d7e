#include "platform/linux/EventSinkFactory.h"

#include "base/ManualScheduler.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using EventSinkFactory::Backend;
using EventSinkFactory::Environment;

TEST(EventSinkFactory, ChoosesTheBackendForTheSessionAndNamesAccessibilityWhenNoneWorks)
{
    const Environment x11{false, false, true};
    const Environment x11WithUinput{false, true, true};
    const Environment wayland{true, true, true};
    const Environment console{false, true, false};
    for (const QString& automatic : {QString(), QStringLiteral("auto"), QStringLiteral("bogus")}) {
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, x11WithUinput).backend, Backend::XTest);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, wayland).backend, Backend::Uinput);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, {true, false, true}).backend, Backend::XTest);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, console).backend, Backend::Uinput);
    }
    EXPECT_EQ(EventSinkFactory::chooseBackend("xtest", wayland).backend, Backend::XTest);
    EXPECT_EQ(EventSinkFactory::chooseBackend(" UInput ", x11WithUinput).backend, Backend::Uinput);

    for (const auto& [setting, environment] : {std::pair{QStringLiteral("auto"), Environment{}},
                                               std::pair{QStringLiteral("xtest"), console},
                                               std::pair{QStringLiteral("uinput"), x11}}) {
        const auto choice = EventSinkFactory::chooseBackend(setting, environment);
        EXPECT_FALSE(choice.backend);
        ASSERT_TRUE(choice.error);
        EXPECT_EQ(choice.error->domain, QStringLiteral("Velotap"));
        EXPECT_TRUE(choice.error->description.contains(QStringLiteral("Accessibility")));
    }
}

TEST(EventSinkFactory, ReadsTheSessionAndAFailingDeviceSetupIsAnAccessibilityError)
{
    QTemporaryDir dir;
    const QString device = dir.filePath("uinput");
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ScopedEnv display("DISPLAY", QByteArray());
    {
        ScopedEnv waylandDisplay("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv type("XDG_SESSION_TYPE", QByteArray());
        const Environment e = EventSinkFactory::detectEnvironment(device);
        EXPECT_TRUE(e.waylandSession && e.uinputWritable && !e.xDisplayReachable);
    }
    ScopedEnv waylandDisplay("WAYLAND_DISPLAY", QByteArray());
    {
        ScopedEnv type("XDG_SESSION_TYPE", "wayland");
        EXPECT_TRUE(EventSinkFactory::detectEnvironment(device).waylandSession);
    }
    EXPECT_FALSE(EventSinkFactory::detectEnvironment(dir.filePath("missing")).uinputWritable);

    FakeDisplayServices displays;
    displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
    displays.addDisplay(2, QRectF(-1280, -200, 1280, 1024));
    EXPECT_EQ(EventSinkFactory::desktopBounds(displays), QRect(-1280, -200, 3200, 1280));

    // A writable file is not a uinput device: its setup fails cleanly.
    ManualScheduler scheduler;
    auto result = EventSinkFactory::create("uinput", scheduler, displays, device);
    EXPECT_FALSE(result.sink);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.error->description.contains(QStringLiteral("Accessibility")));
    result = EventSinkFactory::create("auto", scheduler, displays, dir.filePath("missing"));
    EXPECT_FALSE(result.sink);
    EXPECT_TRUE(result.error);
}

} // namespace
