#include "compat/VTIntroCompatibilityWindowController.h"
#include "tests/compat/CompatHarness.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RawHttpPeer.h"
#include "tests/support/WaitUntil.h"
#include "visual/VTCompatibilityRippleView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <gtest/gtest.h>

namespace {

class IntroCompatibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.service.isRunning()) << h.service.error().toStdString();
        ASSERT_TRUE(h.bridge.start());
    }

    void show()
    {
        check.showWindow();
        h.mapTouchesOnto(check.window());
    }
    QPushButton* button(const char* name) { return check.window()->findChild<QPushButton*>(name); }
    QLineEdit* otherField() { return check.window()->findChild<QLineEdit*>("otherModelField"); }
    QString checklist()
    {
        QStringList lines;
        for (const QString& name : VTIntroCompatibilityWindowController::resultNames())
            lines << check.window()->findChild<QLabel*>("check:" + name)->text();
        return lines.join('\n');
    }
    void chooseModel(const QString& title) { check.window()->findChild<QComboBox*>("modelPopup")->setCurrentText(title); }
    bool sendAndWait()
    {
        button("sendButton")->click();
        return waitUntil([this] { return check.statusText() != ReportSender::SendingText; });
    }

    CompatHarness h;
    VTIntroCompatibilityWindowController check{h.environment()};
};

} // namespace

TEST_F(IntroCompatibilityTest, TicksExactlyTheInputsTheDisplayReports)
{
    show();
    EXPECT_EQ(h.testModes, std::vector<bool>{true});
    EXPECT_EQ(check.statusText(), "Compatible USB touch display detected.");

    h.touch({{1, 0.3, 0.3}, {2, 0.6, 0.6}});
    h.lift();
    EXPECT_EQ(check.statusText(), "Finger 2 point detected.");
    // A finger and the pen in one report: both from the same sample.
    h.touch({{3, 0.5, 0.5}}, CompatHarness::Pen{0.2, 0.7});
    h.lift();
    h.touch({{1, 0.1, 0.1}, {2, 0.2, 0.2}, {3, 0.3, 0.3}, {4, 0.4, 0.4}, {5, 0.5, 0.5}});
    h.lift();
    EXPECT_EQ(checklist(), "OK Finger 1 point\nOK Finger 2 point\n- Finger 3 point\nOK Finger 4 point\nOK Pen\n- Eraser");
    const QVariantMap finger = check.results().value("Finger 1 point");
    const QVariantMap pen = check.results().value("Pen");
    EXPECT_EQ(finger.value("sample"), pen.value("sample"));
    EXPECT_TRUE(finger.value("sample").toString().startsWith("0050 bytes: 01 07 03 "));
    EXPECT_EQ(pen.value("details"), "contacts=2 kinds=finger, pen");
    EXPECT_EQ(check.results().value("Finger 4 point").value("details").toString(),
              "contacts=5 kinds=finger, finger, finger, finger, finger");
    // The first detection is kept.
    h.touch({{7, 0.9, 0.9}});
    EXPECT_EQ(check.results().value("Finger 1 point"), finger);
    EXPECT_FALSE(check.rippleView().ripples().empty());

    // An eraser on another monitor ticks nothing and draws nothing.
    check.rippleView().resetEffects();
    h.mapTouchesOnto(QRect(5000, 0, 1920, 1080));
    h.touch({}, CompatHarness::Pen{0.5, 0.5, true});
    EXPECT_FALSE(check.results().contains("Eraser"));
    EXPECT_TRUE(check.rippleView().ripples().empty());
    h.mapTouchesOnto(check.window());
    h.touch({}, CompatHarness::Pen{0.5, 0.5, true});
    EXPECT_TRUE(check.results().contains("Eraser"));

    // Showing it again starts afresh.
    check.showWindow();
    EXPECT_TRUE(check.results().isEmpty());
    EXPECT_TRUE(check.rippleView().ripples().empty());
    EXPECT_TRUE(checklist().startsWith("- Finger 1 point\n"));
}

TEST_F(IntroCompatibilityTest, FingersSpreadOverTwoReportsCountAsOneFrame)
{
    show();
    // Seven fingers: five in the first report, two in the second.
    h.devices.deliver(CompatHarness::report({{1, 0.1, 0.1}, {2, 0.2, 0.2}, {3, 0.3, 0.3}, {4, 0.4, 0.4}, {5, 0.5, 0.5}},
                                            std::nullopt, 7));
    h.devices.deliver(CompatHarness::report({{6, 0.6, 0.6}, {7, 0.7, 0.7}}, std::nullopt, 0));
    h.lift();
    EXPECT_EQ(check.results().keys(), QStringList{"Finger 4 point"});
    EXPECT_EQ(check.results().value("Finger 4 point").value("details").toString(),
              "contacts=7 kinds=finger, finger, finger, finger, finger, finger, finger");
    EXPECT_TRUE(check.results().value("Finger 4 point").value("sample").toString().startsWith("0050 bytes: 01 07 06 "))
        << "the sample is the report that completed the frame";
}

TEST_F(IntroCompatibilityTest, FirstRunFinishesOnlyAfterAReportWasSentAFailedSendIsRetried)
{
    show();
    EXPECT_TRUE(check.requiresInitialReport());
    QPushButton* send = button("sendButton");
    QPushButton* finish = button("finishButton");
    EXPECT_FALSE(finish->isEnabled());
    check.finish();
    EXPECT_EQ(check.statusText(), "Send the anonymous report to finish first-run setup.");
    EXPECT_TRUE(check.window()->isVisible());

    h.touch({{1, 0.5, 0.5}});
    EXPECT_FALSE(send->isEnabled()) << "no model yet";
    chooseModel("Other");
    otherField()->setText("   ");
    EXPECT_FALSE(send->isEnabled());
    otherField()->setText("  Acme Board 86 ");
    EXPECT_TRUE(send->isEnabled());
    EXPECT_EQ(check.selectedDisplayModel(), "Other: Acme Board 86");
    chooseModel("Samsung Flip 2");
    EXPECT_EQ(otherField()->text(), "");
    EXPECT_FALSE(otherField()->isEnabled());

    // A failed send shows what the service said as the characters it sent,
    // never as markup, and may be retried; nothing listening sends nothing.
    RawHttpPeer peer;
    const QByteArray markup = R"(<b>Down</b> for <a href='file:///etc'>maintenance</a>)";
    peer.setResponse(RawHttpPeer::response(503, R"({"error": ")" + markup + R"("})"));
    h.store.setSettingValue(SettingsKey::ApiBaseURL, peer.baseURL());
    ASSERT_TRUE(sendAndWait());
    const QLabel* status = check.window()->findChild<QLabel*>("statusLabel");
    EXPECT_EQ(status->text(), QString::fromUtf8(markup));
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    h.store.setSettingValue(SettingsKey::ApiBaseURL, h.service.baseURL());
    h.service.stop();
    ASSERT_TRUE(sendAndWait());
    EXPECT_FALSE(check.reportSent());
    EXPECT_TRUE(check.statusText().contains("refused", Qt::CaseInsensitive)) << check.statusText().toStdString();
    EXPECT_TRUE(send->isEnabled());
    EXPECT_FALSE(finish->isEnabled());
    EXPECT_TRUE(h.service.reports().isEmpty());
    ASSERT_TRUE(h.service.start());
    h.store.setSettingValue(SettingsKey::ApiBaseURL, h.service.baseURL());

    bool completed = false;
    ScopedObserver done(h.center, VTNotification::InitialCompatibilityCompleted, [&](const Notification&) { completed = true; });
    ASSERT_TRUE(sendAndWait());
    EXPECT_TRUE(check.reportSent()) << check.statusText().toStdString();
    EXPECT_EQ(h.service.reports().size(), 1);
    EXPECT_TRUE(finish->isEnabled());
    EXPECT_TRUE(send->isEnabled()) << "it may be sent again";

    finish->click();
    EXPECT_TRUE(completed);
    EXPECT_FALSE(check.window()->isVisible());
    EXPECT_EQ(h.testModes, (std::vector<bool>{true, false}));
    h.scheduler.runDue();
    EXPECT_EQ(h.quits, 0);
    // Written through at once.
    UserDefaults reread(h.dir.path());
    EXPECT_TRUE(reread.boolValue(SettingsKey::InitialCompatibilityReportSent));
    EXPECT_FALSE(reread.boolValue(SettingsKey::PermissionsCompatibilityCheckPending));

    // A later check may be closed at any time; it only leaves test mode.
    show();
    EXPECT_FALSE(check.requiresInitialReport());
    EXPECT_TRUE(finish->isEnabled());
    check.window()->close();
    h.scheduler.runDue();
    EXPECT_EQ(h.quits, 0);
    EXPECT_EQ(h.testModes, (std::vector<bool>{true, false, true, false}));
}

TEST_F(IntroCompatibilityTest, ThePayloadReachesTheServiceWithEveryField)
{
    show();
    h.touch({}, CompatHarness::Pen{0.4, 0.4});
    chooseModel("Samsung Flip Pro");
    ASSERT_TRUE(sendAndWait());
    ASSERT_TRUE(check.reportSent()) << check.statusText().toStdString();
    // The service refuses a report without its fixed fields: here the ones
    // the application, the display and the check fill in.
    const QJsonObject report = h.lastStoredReport();
    const QJsonObject expected{
        {"app_version", "1.2.3"}, {"install_id", h.defaults.stringValue(SettingsKey::InstallID)},
        {"display_model", "Samsung Flip Pro"}, {"usb_vendor_id", "04e8"}, {"usb_product_id", "a0f5"},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(report.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_TRUE(report.value("os_version").toString().endsWith(QSysInfo::kernelVersion()));
    EXPECT_TRUE(report.value("hid_report_descriptor_hex").toString().startsWith("050d0904a101850109"));
    EXPECT_TRUE(report.value("diagnostics").toObject().contains("active_display_bounds"));

    EXPECT_EQ(report.value("result_summary").toObject(),
              (QJsonObject{{"finger", "not_tested"}, {"two_finger", "not_tested"}, {"three_finger", "not_tested"},
                           {"four_finger", "not_tested"}, {"pen", "ok"}, {"eraser", "not_tested"}}));
    const QJsonArray samples = report.value("raw_samples").toArray();
    ASSERT_EQ(samples.size(), 6);
    EXPECT_EQ(samples[0].toObject(), (QJsonObject{{"control", "finger"}, {"status", "not_tested"}}));
    const QJsonObject pen = samples[4].toObject();
    EXPECT_TRUE(pen.value("hex").toString().startsWith("01 00 00 00 00 00 00 00 00 "));
    EXPECT_TRUE(pen.value("text").toString().startsWith("0050 bytes: " + pen.value("hex").toString() + "\n"));
    EXPECT_EQ(report.value("usb_devices").toArray().first().toObject().value("product_string"), "Velotap Demo Touch Display");
}

TEST_F(IntroCompatibilityTest, SendingSwitchedOffSendsNothingAndLetsFirstRunFinish)
{
    show();
    h.touch({{1, 0.5, 0.5}});
    chooseModel("Samsung Flip");
    EXPECT_TRUE(button("sendButton")->isEnabled());
    check.window()->findChild<QCheckBox*>("sendReportsSwitch")->setChecked(false);
    EXPECT_FALSE(h.store.sendCompatibilityReports());
    EXPECT_FALSE(button("sendButton")->isEnabled());
    check.sendReport();
    EXPECT_EQ(check.statusText(), "Sending reports is switched off.");
    EXPECT_TRUE(button("finishButton")->isEnabled());
    button("finishButton")->click();
    EXPECT_TRUE(h.defaults.boolValue(SettingsKey::InitialCompatibilityReportSent));
    h.scheduler.runDue();
    EXPECT_EQ(h.quits, 0);
    EXPECT_TRUE(h.service.reports().isEmpty());
}

TEST_F(IntroCompatibilityTest, TheDisplayChoiceIsStoredAndAnnounced)
{
    h.displays.addDisplay(2, QRectF(1920, 0, 1280, 1024));
    show();
    QComboBox* popup = check.window()->findChild<QComboBox*>("displayPopup");
    ASSERT_EQ(popup->count(), 3);
    EXPECT_EQ(popup->currentData(), "auto");
    int announced = 0;
    ScopedObserver observer(h.center, VTNotification::DisplaySelectionDidChange, [&](const Notification&) { ++announced; });
    popup->setCurrentIndex(2);
    emit popup->activated(2);
    EXPECT_EQ(h.store.displaySelection(), "secondary");
    EXPECT_EQ(announced, 1);
}
