#include "platform/linux/DesktopEntries.h"
#include "platform/linux/PkexecPermissionHelper.h"
#include "platform/linux/QtTrayHost.h"
#include "tests/support/DbusDaemon.h"
#include "tests/support/TestFiles.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"
#include "tests/support/AssertEventually.h"

TEST(DesktopEntries, ParsesTheMainGroupOnlyWithTheUsersLanguage)
{
    const QByteArray entry = "# comment\n[Desktop Entry]\nType=Application\nName=Files\nName[fr]=Fichiers\n"
                             "Name[fr_CA]=Fichiers\\sdu\\sCanada\nStartupWMClass=nautilus\n"
                             "[Desktop Action new]\nName=New Window\n";
    const auto canadian = DesktopEntries::parse(entry, QStringLiteral("files"), QStringLiteral("fr_CA.UTF-8"));
    ASSERT_TRUE(canadian);
    EXPECT_EQ(canadian->name, QStringLiteral("Fichiers du Canada"));
    EXPECT_EQ(canadian->startupWMClass, QStringLiteral("nautilus"));
    EXPECT_EQ(DesktopEntries::parse(entry, QStringLiteral("files"), QStringLiteral("fr_FR"))->name, QStringLiteral("Fichiers"));
    EXPECT_EQ(DesktopEntries::parse(entry, QStringLiteral("files"), QStringLiteral("de_DE"))->name, QStringLiteral("Files"));
    // Links name no application; hidden entries are tried under X.
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Link\nName=Site\n", "site", "C"));
    EXPECT_FALSE(DesktopEntries::parse(QByteArray(4096, '\xff'), "noise", "C"));
}

TEST(PkexecPermissionHelper, RunsTheInstallCommandOnceAndReportsHowItEnded)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("calls"));
    const QString fake = dir.filePath(QStringLiteral("pkexec"));
    writeTestFile(fake, "#!/bin/sh\necho \"$@\" >> '" + log.toUtf8() + "'\nexit \"$FAKE_PKEXEC_STATUS\"\n");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const auto run = [&](const QString& program, const QByteArray& status) {
        qputenv("FAKE_PKEXEC_STATUS", status);
        PkexecPermissionHelper helper(program, {QStringLiteral("/usr/bin/velotap"), QStringLiteral("install-udev-rule")});
        std::optional<bool> installed;
        helper.setFinishedHandler([&](bool ok) { installed = ok; });
        helper.requestAccess({QStringLiteral("Input Monitoring")});
        helper.requestAccess({QStringLiteral("Input Monitoring")}); // one prompt at a time
        [&] { ASSERT_EVENTUALLY(installed.has_value(), 10000); }();
        return installed.value_or(false);
    };
    EXPECT_TRUE(run(fake, "0"));
    EXPECT_FALSE(run(fake, "126")); // dismissed
    EXPECT_FALSE(run(dir.filePath(QStringLiteral("missing-pkexec")), "0"));
    qunsetenv("FAKE_PKEXEC_STATUS");
    QFile calls(log);
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    EXPECT_EQ(calls.readAll(), QByteArray("/usr/bin/velotap install-udev-rule\n/usr/bin/velotap install-udev-rule\n"));
}

TEST(QtTrayHost, ATrayWatcherAppearingOrGoingIsReported)
{
    DbusDaemon daemon;
    ASSERT_TRUE(daemon.isRunning()) << daemon.error().toStdString();
    QDBusConnection appBus = QDBusConnection::connectToBus(QString::fromUtf8(daemon.address()), QStringLiteral("tray-app"));
    QtTrayHost tray(appBus);
    EXPECT_FALSE(tray.available()); // offscreen: no X11 tray either
    int changes = 0;
    tray.setAvailabilityHandler([&] { ++changes; });

    QDBusConnection panel = QDBusConnection::connectToBus(QString::fromUtf8(daemon.address()), QStringLiteral("panel"));
    ASSERT_TRUE(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_EVENTUALLY(changes == 1, 5000);
    EXPECT_TRUE(tray.available());
    panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    ASSERT_EVENTUALLY(changes == 2, 5000);
    EXPECT_FALSE(tray.available());

    // A click on the icon opens the menu, as a right click would.
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"));
    tray.show(QIcon(), QStringLiteral("Velotap"), &menu);
    ASSERT_NE(tray.icon(), nullptr);
    EXPECT_EQ(tray.icon()->toolTip(), QStringLiteral("Velotap"));
    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tray-app"));
}
