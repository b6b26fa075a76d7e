#include "base/Notifications.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingBridgeHarness.h"
#include "windows/VTDebugWindowController.h"

#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

void postText(NotificationCenter& center, const QString& text)
{
    center.post(VTNotification::DebugReport, nullptr, {{QStringLiteral("text"), text}});
}

} // namespace

TEST(DebugWindow, ShowsEveryReportTheBridgeDecodesFromARecordingWhileOpen)
{
    const QString path = qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/samples/demo.hid");
    QString error;
    const std::optional<HidRecording> recording = readHidRecordingFile(path, &error);
    ASSERT_TRUE(recording) << error.toStdString();

    RecordingBridgeHarness h(*recording);
    NotificationCenter& center = h.center;
    VTDebugWindowController debug(center);
    EXPECT_FALSE(center.hasObservers(VTNotification::DebugReport));
    debug.showWindow();
    ASSERT_TRUE(h.bridge.start());
    // Half the recording with the window open, the rest after closing it.
    const int half = int(recording->reports.size()) / 2;
    h.deliverUntil(half);
    debug.window()->close();
    EXPECT_FALSE(center.hasObservers(VTNotification::DebugReport));
    h.deliverAll();
    h.bridge.stop();

    const QStringList lines = debug.logText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.first(), "Touch with finger and pen. New raw reports appear here.");
    EXPECT_EQ(lines.filter(QRegularExpression("^0050 bytes: 01 ")).size(), half);
    EXPECT_EQ(lines.filter("decoder=HidDigitizerDescriptor report=1").size(), half) << lines.mid(1, 3).join("\n").toStdString();
    EXPECT_TRUE(lines.contains("  slot=0 id=  1 flags=0x03 down kind=finger  x= 8192 y= 9830 marker=0x3030"));

    // Kept when closed, and listening again when reopened.
    debug.showWindow();
    postText(center, QStringLiteral("0003 bytes: 01 02 03"));
    EXPECT_TRUE(debug.logText().endsWith("0003 bytes: 01 02 03\n"));
}

TEST(DebugWindow, LogSkipsEmptyTextsTrimsPast1200LinesToTheLast900AndClears)
{
    NotificationCenter center;
    VTDebugWindowController debug(center);
    debug.showWindow();
    debug.window()->findChild<QPushButton*>("clearButton")->click();
    EXPECT_EQ(debug.logText(), "");

    postText(center, QString());
    EXPECT_EQ(debug.logText(), "");
    EXPECT_EQ(debug.lineCount(), 0);

    // Two-line texts count as two lines each.
    for (int i = 1; i <= 600; ++i)
        postText(center, QStringLiteral("report %1\n  contact").arg(i));
    EXPECT_EQ(debug.lineCount(), 1200);
    EXPECT_TRUE(debug.logText().startsWith("report 1\n  contact\nreport 2\n"));

    postText(center, QStringLiteral("report 601"));
    EXPECT_EQ(debug.lineCount(), 900);
    QStringList expected;
    for (int i = 152; i <= 600; ++i)
        expected << QStringLiteral("report %1").arg(i) << QStringLiteral("  contact");
    expected << QStringLiteral("report 601") << QString();
    EXPECT_EQ(debug.logText(), expected.join(QLatin1Char('\n')));

    debug.clear();
    EXPECT_EQ(debug.logText(), "");
    EXPECT_EQ(debug.lineCount(), 0);
}
