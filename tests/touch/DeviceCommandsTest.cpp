// `velotap replay` of the demo recording, run as the built executable, as `make demo` does.
#include <QProcess>

#include <gtest/gtest.h>

namespace {

QString replayDemo(const QStringList& extra)
{
    QProcess process;
    process.start(QStringLiteral(VELOTAP_EXECUTABLE),
                  QStringList{QStringLiteral("replay"),
                              qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/samples/demo.hid"),
                              QStringLiteral("--dry-run")}
                      + extra);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

TEST(DeviceCommands, DemoReplayShowsEveryGesture)
{
    const QString out = replayDemo({QStringLiteral("--set"), QStringLiteral("finger2MouseAction=5")});
    EXPECT_TRUE(out.contains(QStringLiteral("settings changed for this replay: finger2MouseAction=5\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\n== touch 7 ==\n")));
    EXPECT_TRUE(out.contains(QStringLiteral("  slot=0 id=  1 flags=0x03 down kind=finger  x= 8192 y= 9830")));
    EXPECT_TRUE(out.contains(QStringLiteral("  -> 0.270 mouse left-down button=0 at=480.01,324.00 flags=0x0 click=1\n")));
    // One line per touch; the scroll goes on after the fingers lift.
    const QString touches = out.section(QStringLiteral("\nTouches:\n"), 1);
    const QStringList expected{
        QStringLiteral("touch  1 at  0.21 s  finger     click"),
        QStringLiteral("touch  2 at  0.99 s  finger     click"),
        QStringLiteral("touch  3 at  1.18 s  finger     double click"),
        QStringLiteral("touch  4 at  1.95 s  finger     drag: "),
        QStringLiteral("touch  5 at  3.27 s  eraser     right click"),
        QStringLiteral("touch  6 at  4.11 s  2 fingers  scroll: "),
        QStringLiteral("touch  7 at  6.33 s  2 fingers  pinch: "),
    };
    for (const QString& line : expected)
        EXPECT_TRUE(touches.contains(line)) << line.toStdString() << "\n" << touches.toStdString();
    EXPECT_TRUE(touches.contains(QStringLiteral("more coasting with inertia"))) << touches.toStdString();

    // Two fingers only scroll by default: the pinch posts no magnify events then.
    const QString plain = replayDemo({QStringLiteral("--events-only")});
    EXPECT_FALSE(plain.contains(QStringLiteral("magnify"))) << plain.toStdString();
    EXPECT_FALSE(plain.contains(QStringLiteral("bytes:")));
    EXPECT_TRUE(plain.contains(QStringLiteral("touch  6 at  4.11 s  2 fingers  scroll: ")));
}
