#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

int runVelotap(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess velotap;
    velotap.setProcessChannelMode(QProcess::MergedChannels);
    velotap.start(VELOTAP_EXECUTABLE, arguments);
    velotap.waitForFinished(30000);
    if (output)
        *output = velotap.readAll();
    return velotap.exitCode();
}

} // namespace

TEST(InstallUdevRule, InstallsEveryAccessFileWhereTheSystemReadsIt)
{
    QTemporaryDir stage;
    QByteArray output;
    ASSERT_EQ(runVelotap({"install-udev-rule", "--destdir", stage.path()}, &output), 0) << output.toStdString();
    const QString source = qEnvironmentVariable("VELOTAP_SOURCE_DIR") + "/resources/";
    EXPECT_EQ(contents(stage.path() + VELOTAP_UDEV_RULES_DIR "/70-velotap.rules"), contents(source + "udev/70-velotap.rules"));
    EXPECT_EQ(contents(stage.path() + VELOTAP_MODULES_LOAD_DIR "/velotap.conf"), contents(source + "modules-load.d/velotap.conf"));
    EXPECT_EQ(QFile::permissions(stage.path() + VELOTAP_UDEV_RULES_DIR "/70-velotap.rules") & QFile::WriteOther, 0);

    EXPECT_EQ(runVelotap({"install-udev-rule", "--to", "/tmp"}), 2);
    // Where nothing can be written, it says so and fails.
    QFile blocker(stage.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(runVelotap({"install-udev-rule", "--destdir", blocker.fileName()}, &output), 1);
    EXPECT_TRUE(output.contains("cannot")) << output.toStdString();
}
