#include "platform/linux/X11ActiveApplicationSource.h"
#include "platform/linux/XFixesCursorControl.h"
#include "tests/support/XvfbServer.h"

#include <QDir>
#include <QFile>
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

void writeEntry(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST(X11ActiveApplicationSource, NamesTheActiveWindowsApplicationByItsDesktopEntry)
{
    XvfbServer server(640, 480);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir data;
    writeEntry(data.filePath("applications/org.gnome.Evolution.desktop"),
               "[Desktop Entry]\nType=Application\nName=Mail\nName[de]=E-Mail\nExec=evolution\n");
    writeEntry(data.filePath("applications/kde/kate.desktop"),
               "[Desktop Entry]\nType=Application\nName=Kate\nStartupWMClass=kate-editor\n");
    writeEntry(data.filePath("applications/hidden.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");

    QString error;
    auto source = X11ActiveApplicationSource::open(QStringLiteral("velotap"),
                                                   DesktopEntries({data.filePath("applications")}, QStringLiteral("de_DE")),
                                                   &error, server.displayName().constData());
    ASSERT_TRUE(source) << error.toStdString();
    QList<ActiveApplication> seen;
    source->setHandler([&](const ActiveApplication& a) { seen << a; });

    WindowMaker maker(server.displayName());
    ASSERT_TRUE(maker.ok());
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

TEST(X11ActiveApplicationSource, AWindowActivatedWhileTheLastOneWasLookedUpIsNotMissed)
{
    XvfbServer server(640, 480);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir data;
    QString error;
    auto source = X11ActiveApplicationSource::open(QStringLiteral("velotap"), DesktopEntries({data.path()}, {}), &error,
                                                   server.displayName().constData());
    ASSERT_TRUE(source) << error.toStdString();
    WindowMaker maker(server.displayName());
    ASSERT_TRUE(maker.ok());
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
