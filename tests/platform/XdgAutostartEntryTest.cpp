#include "platform/linux/XdgAutostartEntry.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"

TEST(XdgAutostartEntry, WritesAndRemovesTheEntryAndHonoursTheDesktopsOwnSwitch)
{
    QTemporaryDir dir;
    XdgAutostartEntry entry(dir.filePath("config/autostart"), QStringLiteral("/opt/velo tap/bin/velotap"));
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_EQ(entry.setEnabled(false), std::nullopt); // nothing there is not a failure

    EXPECT_EQ(entry.setEnabled(true), std::nullopt);
    EXPECT_TRUE(entry.isEnabled());
    QFile file(entry.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\nName=Velotap\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nExec=\"/opt/velo tap/bin/velotap\"\n")) << text.toStdString();

    // Switched off in the desktop's own startup tool.
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(entry.isEnabled());

    EXPECT_EQ(entry.setEnabled(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry.filePath()));

    // A place that cannot hold the folder is an error, not a silent no.
    QFile(dir.filePath("blocked")).open(QIODevice::WriteOnly);
    XdgAutostartEntry blocked(dir.filePath("blocked/autostart"), QStringLiteral("/usr/bin/velotap"));
    const std::optional<VTError> error = blocked.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->description.contains("blocked/autostart")) << error->description.toStdString();
}

TEST(XdgAutostartEntry, ExecQuotesWhatTheDesktopWouldReadOtherwise)
{
    EXPECT_EQ(XdgAutostartEntry::quotedExec("/usr/bin/velotap"), "\"/usr/bin/velotap\"");
    EXPECT_EQ(XdgAutostartEntry::quotedExec("/home/a$b/100%/x\"y"), "\"/home/a\\\\$b/100%%/x\\\\\"y\"");
    EXPECT_EQ(XdgAutostartEntry::quotedExec("/a\\b"), "\"/a\\\\\\\\b\"");
}
