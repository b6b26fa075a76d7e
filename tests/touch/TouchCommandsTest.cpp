// `velotap describe` and `velotap decode`, run as the built executable.
#include "tests/touch/TouchTestData.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CommandRun {
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

CommandRun velotap(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELOTAP_EXECUTABLE), arguments);
    CommandRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString workedExampleHex()
{
    const auto& d = touchtest::kSingleFingerDescriptor;
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(d.data()), qsizetype(d.size())).toHex(' '));
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

const char kInvalid[] = "Descriptor parser could not build touch layout";

} // namespace

TEST(DescribeCommand, PrintsSummaryJsonAndSlotTable)
{
    const CommandRun run = velotap({"describe", workedExampleHex()});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const qsizetype tableStart = run.out.indexOf(QStringLiteral("\n\nreport 1"));
    ASSERT_GT(tableStart, 0) << run.out.toStdString();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(run.out.left(tableStart).toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const QJsonObject summary = json.object();
    EXPECT_EQ(summary.size(), 18);
    EXPECT_EQ(summary.value("contact_count_bits").toString(), "56:8");
    EXPECT_EQ(summary.value("contacts").toArray().at(0).toObject().size(), 16);
    EXPECT_TRUE(run.out.contains(QRegularExpression("\\n0 +finger +8 +9 +- +- +- +16:8 +24:16 +40:16 +0\\.\\.4095")))
        << run.out.toStdString();

    // The same descriptor spelled in other ways, as a raw file and as a recording.
    QTemporaryDir dir;
    const QByteArray raw = QByteArray::fromHex(workedExampleHex().toLatin1());
    const QString rawFile = writeFile(dir, "descriptor.bin", raw);
    const QString recording = writeFile(dir, "touch.hid",
                                        "# a comment\nR: " + QByteArray::number(raw.size()) + " " + raw.toHex(' ')
                                            + "\nN: Test display\nI: 3 0001 0002\n");
    QString prefixed = workedExampleHex().toUpper();
    prefixed.replace(' ', ':');
    const QStringList separated = workedExampleHex().split(' ');
    for (const QStringList& arguments : {QStringList{"describe", rawFile}, QStringList{"describe", recording},
                                         QStringList{"describe", "0x" + workedExampleHex().replace(" ", ", 0x")},
                                         QStringList{"describe", prefixed}, QStringList{"describe"} + separated}) {
        const CommandRun again = velotap(arguments);
        EXPECT_EQ(again.exitCode, 0) << arguments.join(' ').toStdString() << again.err.toStdString();
        EXPECT_EQ(again.out, run.out) << arguments.join(' ').toStdString();
    }
}

TEST(DescribeCommand, ExitCodesForInvalidAndUnreadableInput)
{
    const CommandRun invalid = velotap({"describe", "05 0d 09 04 a1 01 c0"});
    EXPECT_EQ(invalid.exitCode, 1);
    EXPECT_TRUE(invalid.err.startsWith(QStringLiteral("%1\n").arg(kInvalid))) << invalid.err.toStdString();
    EXPECT_TRUE(invalid.err.contains("no Finger, Stylus or Pen collection"));
    EXPECT_TRUE(invalid.out.isEmpty());
    EXPECT_EQ(velotap({"describe", ""}).exitCode, 1) << "an empty descriptor is readable but builds nothing";

    QTemporaryDir dir;
    const QString badRecording = writeFile(dir, "bad.hid", "R: 3 05 0d\n");
    for (const QStringList& arguments :
         {QStringList{"describe"}, QStringList{"describe", "05 0z"}, QStringList{"describe", "050"},
          QStringList{"describe", dir.filePath("missing.bin")}, QStringList{"describe", badRecording},
          QStringList{"describe", dir.path()}}) {
        const CommandRun run = velotap(arguments);
        ASSERT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(velotap({"describe", dir.filePath("missing.bin")}).err.contains("no such file"));

    // Arbitrary bytes never crash it.
    QRandomGenerator random(7);
    for (int i = 0; i < 20; ++i) {
        QByteArray bytes(int(random.bounded(1, 400)), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        const CommandRun run = velotap({"describe", writeFile(dir, QStringLiteral("random%1.bin").arg(i), bytes)});
        ASSERT_FALSE(run.crashed);
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1);
    }
}

TEST(DecodeCommand, DebugTextOfReportsAndRecordings)
{
    const CommandRun run = velotap({"decode", workedExampleHex(), "0103050008000401", "01 02 05 00 08 00 04 01", "020a"});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(),
              "0008 bytes: 01 03 05 00 08 00 04 01\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=1 reported=1 contacts=1 slots=1 "
              "hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id=  5 flags=0x03 down kind=finger  x= 2048 y= 1024 marker=0x0000\n"
              "0008 bytes: 01 02 05 00 08 00 04 01\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=1 reported=1 contacts=0 slots=1 "
              "hybridOffset=0 hybrid=no complete=yes\n"
              "0002 bytes: 02 0a\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=0 reported=0 contacts=0 slots=0 "
              "hybridOffset=0 hybrid=no complete=no\n");

    // A recording's reports, with the hybrid state carried from one to the next.
    QTemporaryDir dir;
    const QByteArray raw = QByteArray::fromHex(workedExampleHex().toLatin1());
    const QString recording = writeFile(dir, "touch.hid",
                                        "R: " + QByteArray::number(raw.size()) + " " + raw.toHex(' ')
                                            + "\nN: Test display\nE: 0.000000 8 01 03 05 00 08 00 04 02\n"
                                              "E: 0.010000 8 01 03 06 00 01 00 01 02\n");
    const CommandRun frames = velotap({"decode", recording});
    EXPECT_EQ(frames.exitCode, 0) << frames.err.toStdString();
    const QStringList lines = frames.out.split('\n');
    ASSERT_EQ(lines.size(), 7) << frames.out.toStdString();
    EXPECT_TRUE(lines[1].endsWith("frame=2 reported=2 contacts=1 slots=1 hybridOffset=0 hybrid=observed complete=no"));
    EXPECT_TRUE(lines[4].endsWith("frame=2 reported=2 contacts=1 slots=1 hybridOffset=1 hybrid=continuation complete=yes"));
    EXPECT_TRUE(lines[5].startsWith("  slot=0 id=  6"));

    // No layout: the bytes and the bridge's status for such a descriptor, and the failure.
    const CommandRun noLayout = velotap({"decode", "05 0d", "0103"});
    EXPECT_EQ(noLayout.exitCode, 1);
    EXPECT_EQ(noLayout.out.toStdString(), "0002 bytes: 01 03\ndecoder=Descriptor parser could not build touch layout\n");
    EXPECT_TRUE(noLayout.err.startsWith(kInvalid));
    EXPECT_EQ(velotap({"decode", "", "01"}).out, "0001 bytes: 01\ndecoder=HID report descriptor unavailable\n");

    EXPECT_EQ(velotap({"decode", workedExampleHex(), "01 0"}).exitCode, 2);
    EXPECT_EQ(velotap({"decode", workedExampleHex()}).exitCode, 2) << "no reports and no recording";
    EXPECT_EQ(velotap({"decode"}).exitCode, 2);
}
