// `velotap describe`, `decode` and `replay`, run as the built executable.
#include "tests/touch/TouchTestData.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CommandRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CommandRun velotap(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELOTAP_EXECUTABLE), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

const QString kHex = QString::fromLatin1(touchtest::kSingleFingerHex).toLower();
const QByteArray kRaw = QByteArray::fromHex(kHex.toLatin1());

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

QByteArray recordingOf(const QByteArray& events)
{
    return "# a comment\nR: " + QByteArray::number(kRaw.size()) + " " + kRaw.toHex(' ') + "\nN: Test display\n" + events;
}

const QString kInvalid = QStringLiteral("Descriptor parser could not build touch layout\n");

} // namespace

TEST(DescribeCommand, SummaryJsonAndSlotTableFromEverySource)
{
    const CommandRun run = velotap({"describe", kHex});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const qsizetype tableStart = run.out.indexOf(QStringLiteral("\n\nreport 1, 1 slot(s), contact count 56:8\n"));
    ASSERT_GT(tableStart, 0) << run.out.toStdString();
    // The summary's keys and values are checked where it is built.
    EXPECT_TRUE(QJsonDocument::fromJson(run.out.left(tableStart).toUtf8()).object().value("valid").toBool());
    EXPECT_TRUE(run.out.endsWith("\n0     finger  8    9      -      -       -       16:8  24:16  40:16  0..4095  0..4095  -      -\n"))
        << run.out.toStdString();

    // The same descriptor as a raw file, a hex text file, a recording, and hex spelled in other ways.
    QTemporaryDir dir;
    for (const QStringList& arguments :
         {QStringList{writeFile(dir, "descriptor.bin", kRaw)}, QStringList{writeFile(dir, "descriptor.txt", kHex.toLatin1() + "\n")},
          QStringList{writeFile(dir, "touch.hid", recordingOf("I: 3 0001 0002\n"))},
          QStringList{"0x" + QString(kHex).replace(" ", ", 0x")}, QStringList{kHex.toUpper().replace(' ', ':')}, kHex.split(' ')}) {
        const CommandRun again = velotap(QStringList{"describe"} + arguments);
        EXPECT_EQ(again.exitCode, 0) << arguments.join(' ').toStdString() << again.err.toStdString();
        EXPECT_EQ(again.out, run.out) << arguments.join(' ').toStdString();
    }
}

TEST(DescribeCommand, InvalidAndUnreadableInput)
{
    // Exit 1: the failure first, then what the walk missed; nothing on stdout.
    const CommandRun invalid = velotap({"describe", "05 0d 09 04 a1 01 c0"});
    EXPECT_EQ(invalid.exitCode, 1);
    EXPECT_TRUE(invalid.out.isEmpty());
    EXPECT_EQ(invalid.err, kInvalid + "velotap describe: no collection holds a contact (Tip Switch, Contact Identifier, X and Y)\n");
    EXPECT_TRUE(velotap({"describe", "85 01 05 0d 09 22 a1 02 c0"}).err.endsWith("no Finger, Stylus or Pen collection has all of Tip Switch, Contact Identifier, X and Y\n"));
    EXPECT_EQ(velotap({"describe", ""}).exitCode, 1) << "an empty descriptor is readable but builds nothing";

    // Exit 2: no source, bad hex, odd length, missing file, broken recording, a directory.
    QTemporaryDir dir;
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"05 0z"}, QStringList{"050"}, QStringList{dir.filePath("missing.bin")},
          QStringList{writeFile(dir, "bad.hid", "R: 3 05 0d\n")}, QStringList{dir.path()}}) {
        const CommandRun run = velotap(QStringList{"describe"} + arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(velotap({"describe", dir.filePath("missing.bin")}).err.contains("no such file"));

}

TEST(DecodeCommand, DebugTextOfReportsAndRecordings)
{
    const CommandRun run = velotap({"decode", kHex, "0103050008000401", "020a"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(),
              "0008 bytes: 01 03 05 00 08 00 04 01\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=1 reported=1 contacts=1 slots=1 "
              "hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id=  5 flags=0x03 down kind=finger  x= 2048 y= 1024 marker=0x0000\n"
              "0002 bytes: 02 0a\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=0 reported=0 contacts=0 slots=0 "
              "hybridOffset=0 hybrid=no complete=no\n");

    // A recording's reports, with the hybrid state carried from one to the next.
    QTemporaryDir dir;
    const CommandRun frames = velotap({"decode", writeFile(dir, "touch.hid", recordingOf("E: 0.000000 8 01 03 05 00 08 00 04 02\n"
                                                                                           "E: 0.010000 8 01 03 06 00 01 00 01 02\n"))});
    EXPECT_EQ(frames.exitCode, 0) << frames.err.toStdString();
    const QStringList lines = frames.out.split('\n');
    ASSERT_EQ(lines.size(), 7) << frames.out.toStdString();
    EXPECT_TRUE(lines[1].endsWith("frame=2 reported=2 contacts=1 slots=1 hybridOffset=0 hybrid=observed complete=no"));
    EXPECT_TRUE(lines[4].endsWith("frame=2 reported=2 contacts=1 slots=1 hybridOffset=1 hybrid=continuation complete=yes"));
    EXPECT_TRUE(lines[5].startsWith("  slot=0 id=  6"));

    // No layout: the bytes and the status a bridge would show for such a descriptor, and exit 1.
    const CommandRun noLayout = velotap({"decode", "05 0d", "0103"});
    EXPECT_EQ(noLayout.exitCode, 1);
    EXPECT_EQ(noLayout.out, "0002 bytes: 01 03\ndecoder=Descriptor parser could not build touch layout\n");
    EXPECT_TRUE(noLayout.err.startsWith(kInvalid));
    EXPECT_EQ(velotap({"decode", "", "01"}).out, "0001 bytes: 01\ndecoder=HID report descriptor unavailable\n");

    // Exit 2: a report that is not hex, no reports and no recording, nothing at all.
    for (const QStringList& arguments : {QStringList{kHex, "01 0"}, QStringList{kHex}, QStringList{}})
        EXPECT_EQ(velotap(QStringList{"decode"} + arguments).exitCode, 2) << arguments.join(' ').toStdString();
}

TEST(ReplayCommand, EndsWithEveryButtonReleasedAndReplaysACutRecording)
{
    // A finger lands, drags and is still down when the recording stops in
    // the middle of its last line.
    QTemporaryDir dir;
    const QString path = writeFile(dir, "cut.hid", recordingOf("E: 0.000000 8 01 03 05 00 08 00 04 01\n"
                                                               "E: 0.500000 8 01 03 05 00 0a 00 04 01\n"
                                                               "E: 0.600000 8 01 0"));
    const CommandRun run = velotap({"replay", path, "--dry-run", "--events-only"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("the last line of cut.hid is cut off; the complete reports before it were replayed"));
    const qsizetype up = run.out.indexOf("left-up");
    EXPECT_GT(up, run.out.indexOf("left-dragged"));
    EXPECT_LT(up, run.out.indexOf("Touches:")) << "the release comes before the summary";
    EXPECT_TRUE(run.out.contains("\n2 reports, ")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("touch  1 at  0.00 s  finger     drag: 1 moves")) << run.out.toStdString();
}

TEST(ReplayCommand, SettingsAreCheckedAndChooseTheDisplay)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "tap.hid", recordingOf("E: 0.000000 8 01 03 05 00 08 00 04 01\n"
                                                               "E: 0.050000 8 01 00 05 00 08 00 04 00\n"));
    // Keys and values as `velotap defaults write` takes them.
    for (const char* bad : {"bogus=1", "touchDelay=1e300", "eventBackend=xtset"})
        EXPECT_EQ(velotap({"replay", path, "--dry-run", "--set", bad}).exitCode, 2) << bad;

    // Two monitors: "displaySelection" picks the second; the ShowKeyboard
    // action shows in the trace; flags may be hexadecimal.
    const CommandRun run = velotap({"replay", path, "--dry-run", "--events-only", "--display", "1000x1000+0+0", "--display",
                                    "500x500+1000+0", "--set", "displaySelection=secondary", "--set",
                                    "finger1ModifierAction=7", "--set", "finger1KeyComboFlags=0x20000"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("onto 500x500+1000+0")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("  -> 0.000 keyboard show\n")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("left-down button=0 at=1250.06,125.03")) << run.out.toStdString();
}

TEST(ReplayCommand, ControlCharactersOfARecordingAreNotEchoed)
{
    QTemporaryDir dir;
    QByteArray text = recordingOf("E: 0.000000 8 01 00 05 00 08 00 04 00\n");
    text.replace("N: Test display", "N: Evil\x1b]0;owned\x07\x1b[2J name");
    const CommandRun run = velotap({"replay", writeFile(dir, "evil.hid", text), "--dry-run"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("\"Evil\\x1b]0;owned\\x07\\x1b[2J name\"")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QChar(0x1b)));
}

TEST(ReplayCommand, DemoShowsEveryGesture)
{
    const QString demo = qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/samples/demo.hid");
    const CommandRun run = velotap({"replay", demo, "--dry-run", "--set", "finger2MouseAction=5"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("\n== touch 7 ==\n"));
    // One line per touch; the scroll goes on after the fingers lift.
    const QString touches = run.out.section(QStringLiteral("\nTouches:\n"), 1);
    for (const char* line : {"touch  1 at  0.21 s  finger     click", "touch  2 at  0.99 s  finger     click",
                             "touch  3 at  1.18 s  finger     double click", "touch  4 at  1.95 s  finger     drag: ",
                             "touch  5 at  3.27 s  eraser     right click", "touch  6 at  4.11 s  2 fingers  scroll: ",
                             "touch  7 at  6.33 s  2 fingers  pinch: ", "more coasting with inertia"})
        EXPECT_TRUE(touches.contains(QLatin1String(line))) << line << "\n" << touches.toStdString();

    // Two fingers only scroll by default: the pinch posts no magnify events then.
    const QString plain = velotap({"replay", demo, "--dry-run", "--events-only"}).out;
    EXPECT_FALSE(plain.contains(QStringLiteral("magnify"))) << plain.toStdString();
    EXPECT_FALSE(plain.contains(QStringLiteral("bytes:")));
    EXPECT_TRUE(plain.contains(QStringLiteral("touch  6 at  4.11 s  2 fingers  scroll: ")));
}
