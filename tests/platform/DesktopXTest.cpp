#include "platform/linux/X11ActiveApplicationSource.h"
#include "platform/linux/XFixesCursorControl.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XvfbServer.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/support/QtPrinters.h"
#include "tests/support/AssertEventually.h"

namespace {

// A test client that makes windows and plays the window manager's part of
// naming the active one.
class WindowMaker {
public:
    explicit WindowMaker(const QByteArray& display) : m_display(XOpenDisplay(display.constData())) {}
    ~WindowMaker()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }

    Window window(const char* instance, const char* className, const QByteArray& gtkApplicationId = {})
    {
        const Window w = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 10, 10, 0, 0, 0);
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(className)};
        XSetClassHint(m_display, w, &hint);
        if (!gtkApplicationId.isEmpty()) {
            XChangeProperty(m_display, w, XInternAtom(m_display, "_GTK_APPLICATION_ID", False),
                            XInternAtom(m_display, "UTF8_STRING", False), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(gtkApplicationId.constData()), int(gtkApplicationId.size()));
        }
        XFlush(m_display);
        return w;
    }
    void setPid(Window w, long pid)
    {
        XChangeProperty(m_display, w, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    void activate(Window w)
    {
        XChangeProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False),
                        XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&w), 1);
        XFlush(m_display);
    }
    void sync() { XSync(m_display, False); }

private:
    Display* m_display;
};

class X11ActiveApplicationSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        ASSERT_TRUE(maker.ok());
    }
    std::unique_ptr<X11ActiveApplicationSource> open(const QString& locale)
    {
        QString error;
        auto source = X11ActiveApplicationSource::open(QStringLiteral("velotap"), DesktopEntries({data.filePath("applications")}, locale),
                                                       &error, server.displayName().constData());
        EXPECT_TRUE(source) << error.toStdString();
        return source;
    }

    XvfbServer server{640, 480};
    QTemporaryDir data;
    WindowMaker maker{server.displayName()};
};

} // namespace

TEST_F(X11ActiveApplicationSourceTest, NamesTheActiveWindowsApplicationByItsDesktopEntry)
{
    writeTestFile(data.filePath("applications/org.gnome.Evolution.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Mail\nName[de]=E-Mail\nExec=evolution\n");
    writeTestFile(data.filePath("applications/kde/kate.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Kate\nStartupWMClass=kate-editor\n");
    writeTestFile(data.filePath("applications/hidden.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
    auto source = open(QStringLiteral("de_DE"));
    ASSERT_TRUE(source);
    QList<ActiveApplication> seen;
    source->setHandler([&](const ActiveApplication& a) { seen << a; });

    const Window evolution = maker.window("evolution", "Evolution", "org.gnome.Evolution");
    const Window kate = maker.window("kate", "kate-editor");
    const Window unknown = maker.window("xterm", "XTerm");
    const Window hidden = maker.window("hidden", "Hidden");
    const Window ours = maker.window("velotap", "Velotap");
    maker.setPid(ours, ::getpid());

    const auto activate = [&](Window w) -> QStringList {
        const int before = int(seen.size());
        maker.activate(w);
        [&] { ASSERT_EVENTUALLY(int(seen.size()) == before + 1, 5000); }();
        return {seen.last().name, seen.last().identifier};
    };
    // By GTK application id, in the user's language; by StartupWMClass; by WM_CLASS alone.
    EXPECT_EQ(activate(evolution), (QStringList{"E-Mail", "org.gnome.Evolution"}));
    EXPECT_EQ(activate(kate), (QStringList{"Kate", "kde-kate"}));
    EXPECT_EQ(activate(unknown), (QStringList{"XTerm", "XTerm"}));
    EXPECT_EQ(activate(hidden), (QStringList{"Hidden", "Hidden"}));
    EXPECT_EQ(activate(ours), (QStringList{"Velotap", "velotap"}));
    EXPECT_EQ(source->current().identifier, QStringLiteral("velotap"));
}

TEST_F(X11ActiveApplicationSourceTest, AWindowActivatedWhileTheLastOneWasLookedUpIsNotMissed)
{
    auto source = open({});
    ASSERT_TRUE(source);
    const Window mail = maker.window("mail", "Mail");
    const Window editor = maker.window("editor", "Editor");

    // The editor becomes active while Velotap still asks the server about
    // the mail window: the change arrives with that answer.
    QStringList seen;
    source->setHandler([&](const ActiveApplication& a) {
        seen << a.name;
        if (seen.size() == 1) {
            maker.activate(editor);
            maker.sync();
            source->current();
        }
    });
    maker.activate(mail);
    ASSERT_EVENTUALLY(seen == (QStringList{"Mail", "Editor"}), 5000);
}

TEST(XFixesCursorControl, ShowsNeverOutnumberHidesSoTheServerRefusesNothing)
{
    XvfbServer server(320, 240);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QString error;
    auto cursor = XFixesCursorControl::open(&error, server.displayName().constData());
    ASSERT_TRUE(cursor) << error.toStdString();

    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg)
            warnings << text;
    });
    cursor->hideCursor(1);
    cursor->hideCursor(1);
    for (int i = 0; i < 8; ++i)
        cursor->showCursor(1);
    EXPECT_EQ(cursor->outstandingHides(), 0);
    cursor->hideCursor(1);
    EXPECT_EQ(cursor->outstandingHides(), 1);
    // Closing syncs: any refusal by the server would be reported now.
    cursor.reset();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}
