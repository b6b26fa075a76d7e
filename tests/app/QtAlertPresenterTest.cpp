#include "app/QtAlertPresenter.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A message of the maker's service that looks like markup is shown as the
// characters it is made of: no link in it can be followed from the alert.
TEST(QtAlertPresenter, ShowsTextsAsWrittenNeverAsMarkup)
{
    Alert alert;
    alert.message = QStringLiteral("<a href=\"file:///etc/passwd\">New & better</a>");
    alert.informativeText = QStringLiteral("Version <b>2.0</b> is <a href=\"smb://host/x\">here</a>.");
    alert.buttons = {QStringLiteral("Open"), QStringLiteral("OK")};

    QStringList shown;
    bool linksLive = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            shown << label->text();
            linksLive |= label->textFormat() != Qt::PlainText;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == QLatin1String("OK"))
                button->click();
        }
    });
    QtAlertPresenter presenter;
    const AlertResult answer = presenter.runModal(alert);

    EXPECT_EQ(answer.buttonTitle(alert), "OK");
    EXPECT_TRUE(shown.contains(alert.message)) << shown.join(" | ").toStdString();
    EXPECT_TRUE(shown.contains(alert.informativeText)) << shown.join(" | ").toStdString();
    EXPECT_FALSE(linksLive);
}

} // namespace
