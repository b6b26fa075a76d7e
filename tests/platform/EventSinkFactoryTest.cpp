#include "platform/linux/EventSinkFactory.h"

#include "base/ManualScheduler.h"
#include "touch/DisplayServices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

using EventSinkFactory::Backend;
using EventSinkFactory::Environment;

class TwoDisplays : public DisplayServices {
public:
    std::vector<DisplayID> activeDisplays() const override { return {1, 2}; }
    DisplayID mainDisplay() const override { return 1; }
    QRectF displayBounds(DisplayID id) const override
    {
        return id == 1 ? QRectF(0, 0, 1920, 1080) : id == 2 ? QRectF(-1280, -200, 1280, 1024) : QRectF();
    }
    QSize displayPixelSize(DisplayID id) const override { return displayBounds(id).size().toSize(); }
};

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(EventSinkFactory, ChoosesTheBackendForTheSessionAndNamesAccessibilityWhenNoneWorks)
{
    const Environment x11{false, false, true};
    const Environment x11WithUinput{false, true, true};
    const Environment wayland{true, true, true};
    const Environment waylandWithoutUinput{true, false, true};
    const Environment console{false, true, false};
    const Environment nothing{false, false, false};

    for (const QString& automatic : {QString(), QStringLiteral("auto"), QStringLiteral("bogus")}) {
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, x11).backend, Backend::XTest);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, x11WithUinput).backend, Backend::XTest);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, wayland).backend, Backend::Uinput);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, waylandWithoutUinput).backend, Backend::XTest);
        EXPECT_EQ(EventSinkFactory::chooseBackend(automatic, console).backend, Backend::Uinput);
    }
    EXPECT_EQ(EventSinkFactory::chooseBackend("xtest", wayland).backend, Backend::XTest);
    EXPECT_EQ(EventSinkFactory::chooseBackend(" UInput ", x11WithUinput).backend, Backend::Uinput);

    for (const auto& [setting, environment] : {std::pair{QStringLiteral("auto"), nothing},
                                               std::pair{QStringLiteral("xtest"), console},
                                               std::pair{QStringLiteral("uinput"), x11}}) {
        const auto choice = EventSinkFactory::chooseBackend(setting, environment);
        EXPECT_FALSE(choice.backend);
        ASSERT_TRUE(choice.error);
        EXPECT_EQ(choice.error->domain, QStringLiteral("Velotap"));
        EXPECT_TRUE(choice.error->description.contains(QStringLiteral("Accessibility")));
    }
}

TEST(EventSinkFactory, ReadsTheSessionFromTheEnvironment)
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
        EXPECT_TRUE(e.waylandSession);
        EXPECT_TRUE(e.uinputWritable);
        EXPECT_FALSE(e.xDisplayReachable);
    }
    {
        ScopedEnv waylandDisplay("WAYLAND_DISPLAY", QByteArray());
        ScopedEnv type("XDG_SESSION_TYPE", "wayland");
        EXPECT_TRUE(EventSinkFactory::detectEnvironment(device).waylandSession);
    }
    {
        ScopedEnv waylandDisplay("WAYLAND_DISPLAY", QByteArray());
        ScopedEnv type("XDG_SESSION_TYPE", "x11");
        EXPECT_FALSE(EventSinkFactory::detectEnvironment(device).waylandSession);
        EXPECT_FALSE(EventSinkFactory::detectEnvironment(dir.filePath("missing")).uinputWritable);
    }
}

TEST(EventSinkFactory, FailingDeviceSetupIsAnAccessibilityErrorAndDesktopSpansAllDisplays)
{
    TwoDisplays displays;
    EXPECT_EQ(EventSinkFactory::desktopBounds(displays), QRect(-1280, -200, 3200, 1280));

    // A writable file is not a uinput device: its setup fails cleanly.
    QTemporaryDir dir;
    const QString device = dir.filePath("uinput");
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ScopedEnv display("DISPLAY", QByteArray());
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
