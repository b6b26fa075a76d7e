#include "compat/VTCompatibilityWindowController.h"
#include "tests/compat/CompatHarness.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WaitUntil.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class StepTestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.bridge.start());
        test.showWindow();
        h.mapTouchesOnto(test.window());
    }

    QPushButton* button(const char* name) { return test.window()->findChild<QPushButton*>(name); }
    QStringList statuses() const
    {
        QStringList list;
        for (const QVariant& result : test.results())
            list << result.toMap().value("status").toString();
        return list;
    }
    void runUntilFinished(double limit = 120)
    {
        while (!test.finished() && h.scheduler.now() < limit)
            h.scheduler.advance(0.05);
    }

    CompatHarness h;
    VTCompatibilityWindowController test{h.environment()};
};

} // namespace

TEST_F(StepTestTest, StepsPassTimeOutAndSettleOnTheClock)
{
    button("startButton")->click();
    EXPECT_EQ(h.testModes, std::vector<bool>{true});
    EXPECT_EQ(test.stepText(), "1 / 6: Finger 1 point");

    // A tap shorter than the settling time still completes the step.
    h.touch({{1, 0.5, 0.5}});
    EXPECT_EQ(test.statusText(), "Detected, confirming 80 ms...");
    h.scheduler.advance(0.03);
    h.lift();
    EXPECT_EQ(test.statusText(), "Detected, confirming 80 ms...");
    h.scheduler.advance(0.06);
    EXPECT_EQ(statuses(), QStringList{"ok"});
    h.touch({{1, 0.5, 0.5}, {2, 0.6, 0.6}}); // ignored between steps
    h.scheduler.advance(0.45);

    // Three fingers satisfy the two-finger step.
    EXPECT_EQ(test.stepText(), "2 / 6: Finger 2 point");
    h.touch({{1, 0.3, 0.3}, {2, 0.5, 0.5}, {3, 0.7, 0.7}});
    h.scheduler.advance(0.1);
    h.touch({{1, 0.3, 0.3}, {2, 0.5, 0.5}, {3, 0.7, 0.7}});
    EXPECT_EQ(test.statusText(), "Detected, confirming...");
    h.scheduler.advance(0.1);
    EXPECT_EQ(statuses(), (QStringList{"ok", "ok"}));
    EXPECT_EQ(test.results()[1].toMap().value("details"), "contacts=3 kinds=finger, finger, finger matching=3/2");
    h.lift();
    h.scheduler.advance(0.45);

    // Nothing for ten seconds.
    EXPECT_EQ(test.stepText(), "3 / 6: Finger 3 point");
    h.scheduler.advance(9.91);
    EXPECT_EQ(test.countdownText(), "1s");
    EXPECT_EQ(statuses().size(), 2);
    h.scheduler.advance(0.15);
    EXPECT_EQ(statuses().last(), "timeout");
    h.scheduler.advance(0.45);

    // Touches outside the window count for nothing.
    EXPECT_EQ(test.stepText(), "4 / 6: Finger 4 point");
    h.mapTouchesOnto(QRect(5000, 0, 800, 600));
    h.touch({{1, 0.1, 0.1}, {2, 0.2, 0.2}, {3, 0.3, 0.3}, {4, 0.4, 0.4}});
    EXPECT_EQ(test.statusText(), "contacts=0 kinds=none matching=0/4");
    h.mapTouchesOnto(test.window());
    h.touch({{1, 0.1, 0.1}, {2, 0.2, 0.2}, {3, 0.3, 0.3}, {4, 0.4, 0.4}});
    h.scheduler.advance(0.25);
    h.lift();
    h.scheduler.advance(0.45);

    // A finger is not the pen.
    EXPECT_EQ(test.stepText(), "5 / 6: Pen");
    h.touch({{1, 0.5, 0.5}});
    EXPECT_EQ(test.statusText(), "contacts=1 kinds=finger matching=0/1");
    h.touch({}, CompatHarness::Pen{0.5, 0.5});
    h.scheduler.advance(0.09);
    h.scheduler.advance(0.45);
    EXPECT_EQ(test.stepText(), "6 / 6: Eraser");
    h.touch({}, CompatHarness::Pen{0.5, 0.5, true});
    h.scheduler.advance(0.09);

    EXPECT_TRUE(test.finished());
    EXPECT_EQ(statuses(), (QStringList{"ok", "ok", "timeout", "ok", "ok", "ok"}));
    EXPECT_EQ(h.testModes, (std::vector<bool>{true, false}));
    EXPECT_TRUE(test.summaryText().contains("- Finger 3 point: timeout\n- Finger 4 point: ok\n"));
    EXPECT_EQ(test.resultSummary().value("three_finger"), "failed");
    EXPECT_TRUE(button("sendButton")->isEnabled());
    EXPECT_FALSE(h.scheduler.hasPending());
}

TEST_F(StepTestTest, AnUntouchedTestTimesOutEveryStepIsSentAsTroubleshootingAndMayBeCancelledOnItsNextRun)
{
    ASSERT_TRUE(h.service.isRunning());
    test.sendReport();
    EXPECT_EQ(test.statusText(), "No report is ready yet.");

    auto* popup = test.window()->findChild<QComboBox*>("modelPopup");
    popup->setCurrentText("Other");
    button("startButton")->click();
    EXPECT_FALSE(popup->isEnabled());
    runUntilFinished();
    ASSERT_TRUE(test.finished());
    // Six steps of ten seconds and five pauses between them, to the tick.
    EXPECT_GE(h.scheduler.now(), 62.25);
    EXPECT_LT(h.scheduler.now(), 62.25 + 6 * 0.1 + 0.05);
    EXPECT_EQ(statuses(), QStringList(6, "timeout"));

    button("sendButton")->click();
    ASSERT_TRUE(waitUntil([this] { return test.statusText() != ReportSender::SendingText; }));
    const QJsonObject report = h.lastStoredReport();
    EXPECT_EQ(report.value("report_type"), "troubleshoot") << test.statusText().toStdString();
    EXPECT_EQ(report.value("display_model"), "Other");
    const QJsonArray samples = report.value("raw_samples").toArray();
    ASSERT_EQ(samples.size(), 6);
    EXPECT_EQ(samples[5].toObject(), (QJsonObject{{"control", "eraser"}, {"status", "timeout"}}));

    // It can run again, and be cancelled mid-step: test mode ends, every timer stops.
    button("startButton")->click();
    EXPECT_EQ(test.stepText(), "1 / 6: Finger 1 point");
    EXPECT_TRUE(test.results().isEmpty());
    h.touch({{1, 0.5, 0.5}});
    button("doneButton")->click();
    EXPECT_FALSE(test.window()->isVisible());
    EXPECT_EQ(h.testModes, (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(h.scheduler.hasPending());
    h.touch({{1, 0.5, 0.5}});
    EXPECT_TRUE(test.results().isEmpty());

    test.showWindow();
    EXPECT_EQ(test.stepText(), "Ready");
    EXPECT_EQ(h.testModes, (std::vector<bool>{true, false, true, false}));
}
