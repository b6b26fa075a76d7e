#include "compat/CompatibilityReport.h"
#include "compat/ReportSender.h"
#include "service/ServiceClient.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RawHttpPeer.h"
#include "tests/support/WaitUntil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(CompatibilityPayload, SummaryKeysHexLinesAndDetails)
{
    using namespace compatreport;
    EXPECT_EQ(summaryKeyForName("Palm Rejection Test"), "palm_rejection_test");

    EXPECT_EQ(firstHexLineFromSample("0012 bytes: 01 02 0a"), "01 02 0a");
    EXPECT_EQ(firstHexLineFromSample("header\n  0003 bytes:  ff 00 \r\nbytes: 11"), "ff 00");
    EXPECT_EQ(firstHexLineFromSample("no report here"), "");
    EXPECT_EQ(rawSample("pen", "ok", ""), (QJsonObject{{"control", "pen"}, {"status", "ok"}}));

    EXPECT_EQ(contactsDetails({}), "contacts=0 kinds=none");
    EXPECT_EQ(contactsDetails({QVariantMap{{"kindName", "pen"}}, QVariantMap{}}), "contacts=2 kinds=pen, unknown");
}

TEST(CompatibilityPayload, DisplayDiagnosticsOfTheMainDisplay)
{
    FakeDisplayServices displays;
    displays.addDisplay(1, QRectF(-1440, 0, 1440, 900), QSize(2880, 1800));
    displays.addDisplay(2, QRectF(0, 0, 1920, 1080));
    displays.setMainDisplay(1);
    EXPECT_EQ(compatreport::displayDiagnostics(displays),
              (QJsonObject{{"active_display_bounds", "-1440,0 1440x900"}, {"logical_resolution", "1440x900"},
                           {"physical_resolution", "2880x1800"}, {"scale_estimate", 2}}));
    displays.setMainDisplay(7); // gone
    EXPECT_EQ(compatreport::displayDiagnostics(displays).value("scale_estimate"), 0);
}

TEST(CompatibilityPayload, AnswersWithoutAUsableIdStillCountAsSent)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    RawHttpPeer peer;
    defaults.setValue(SettingsKey::ApiBaseURL, peer.baseURL());
    ServiceClient client(defaults);
    ReportSender sender(client);
    const struct {
        QByteArray body;
        QString status;
    } cases[] = {
        {R"({"id":"r-17"})", "Anonymous report sent: r-17"},
        {R"({"id":17})", "Anonymous report sent."},
        {R"({})", "Anonymous report sent."},
    };
    for (const auto& c : cases) {
        peer.setResponse(RawHttpPeer::response(201, c.body));
        std::optional<ReportSender::Outcome> outcome;
        sender.send({{"anonymous", true}}, [&](const ReportSender::Outcome& o) { outcome = o; });
        EXPECT_TRUE(sender.sending());
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
        EXPECT_TRUE(outcome->sent);
        EXPECT_EQ(outcome->status, c.status);
    }
    EXPECT_TRUE(peer.requests.last().startsWith("POST /api/v1/compatibility-reports/ HTTP/1.1"));

    // A window that went away before the answer hears nothing.
    bool heard = false;
    {
        ReportSender gone(client);
        gone.send({}, [&](const ReportSender::Outcome&) { heard = true; });
    }
    std::optional<ReportSender::Outcome> later;
    sender.send({}, [&](const ReportSender::Outcome& o) { later = o; });
    ASSERT_TRUE(waitUntil([&] { return later.has_value(); }));
    EXPECT_FALSE(heard);
}
