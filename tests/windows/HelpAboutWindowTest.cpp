#include "keyboard/KeyboardIcons.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedAlertPresenter.h"
#include "windows/VTAboutWindowController.h"
#include "windows/VTHelpWindowController.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QIcon squareIcon()
{
    QPixmap pixmap(56, 56);
    pixmap.fill(Qt::black);
    return QIcon(pixmap);
}

} // namespace

TEST(HelpWindow, SizesItselfToItsTextsAndOpensTheHelpPage)
{
    RecordingWorkspace workspace;
    ScriptedAlertPresenter alerts;
    const QUrl page = QUrl::fromLocalFile(QStringLiteral("/usr/share/velotap/help/index.html"));
    // Only the "place" icon is there.
    QTemporaryDir iconDir;
    QFile::copy(KeyboardIcons::builtInDirectory() + QStringLiteral("/place.svg"), iconDir.filePath("place.svg"));
    KeyboardIcons icons(iconDir.path());
    VTHelpWindowController help({workspace, alerts, page, icons});
    QWidget* window = help.window();

    // The last body ends 64 above the bottom; every label lies inside the window.
    int lowest = 0;
    for (const QLabel* label : window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        lowest = std::max(lowest, label->geometry().bottom() + 1);
        EXPECT_TRUE(QRect(0, 0, 440, window->height()).contains(label->geometry())) << label->text().toStdString();
    }
    EXPECT_EQ(window->width(), 440);
    EXPECT_EQ(lowest, window->height() - 64);

    // An icon the keyboard lacks leaves an empty place; the hint's text shows either way.
    EXPECT_FALSE(window->findChild<QWidget*>("hint-place")->findChild<QLabel*>("icon")->pixmap().isNull());
    const QWidget* hide = window->findChild<QWidget*>("hint-hide");
    EXPECT_TRUE(hide->findChild<QLabel*>("icon")->pixmap().isNull());
    EXPECT_EQ(hide->findChildren<QLabel*>().last()->text(), "close keyboard");

    window->findChild<QPushButton*>("openHelpPage")->click();
    EXPECT_EQ(workspace.opened, QList<QUrl>({page}));
    workspace.succeed = false;
    window->findChild<QPushButton*>("openHelpPage")->click();
    EXPECT_EQ(alerts.messages(), QStringList({"The help page could not be opened"}));
    EXPECT_EQ(alerts.shown.last().informativeText, "/usr/share/velotap/help/index.html");
}

TEST(HelpAndAboutWindows, ReopenWhereTheUserLeftThem)
{
    RecordingWorkspace workspace;
    ScriptedAlertPresenter alerts;
    VTHelpWindowController help({workspace, alerts, QUrl(), KeyboardIcons::shared()});
    VTAboutWindowController about({QIcon(), QString(), {}, {}});
    for (QWidget* window : {help.window(), about.window()}) {
        window->show();
        window->move(123, 77);
        window->close();
        EXPECT_FALSE(window->isVisible());
    }
    help.showWindow();
    about.showWindow();
    EXPECT_EQ(help.window()->pos(), QPoint(123, 77));
    EXPECT_EQ(about.window()->pos(), QPoint(123, 77));
}

TEST(AboutWindow, ShowsTheVersionAndRunsItsActions)
{
    int updateChecks = 0;
    int compatibilityChecks = 0;
    int stepTests = 0;
    VTAboutWindowController about({squareIcon(), QStringLiteral("1.4.2"), [&] { ++updateChecks; },
                                   [&] { ++compatibilityChecks; }, [&] { ++stepTests; }});
    QWidget* window = about.window();
    EXPECT_EQ(window->findChild<QLabel*>("version")->text(), "Version 1.4.2");
    EXPECT_FALSE(window->findChild<QLabel*>("applicationIcon")->pixmap().isNull());
    window->findChild<QPushButton*>("checkForUpdates")->click();
    window->findChild<QPushButton*>("compatibilityCheck")->click();
    window->findChild<QPushButton*>("compatibilityCheck")->click();
    EXPECT_EQ(updateChecks, 1);
    EXPECT_EQ(compatibilityChecks, 2);
    window->findChild<QPushButton*>("compatibilityTest")->click();
    EXPECT_EQ(stepTests, 1);

    VTAboutWindowController bare({QIcon(), QString(), {}, {}});
    EXPECT_EQ(bare.window()->findChild<QLabel*>("version")->text(), "Version 0.1.0");
    EXPECT_FALSE(bare.window()->findChild<QPushButton*>("checkForUpdates")->isEnabled());
}
