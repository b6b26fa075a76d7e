#include "touch/ReportDecoder.h"
#include "touch/TouchFrameAssembler.h"

#include <gtest/gtest.h>

#include "tests/touch/ReportEncoder.h"
#include "tests/touch/TouchTestData.h"

using touchtest::Descriptor;
using touchtest::EncodedContact;

namespace {

// Decodes and assembles reports; the ids of each frame handed on, "-" for
// an incomplete one.
class Frames {
public:
    explicit Frames(const TouchLayout& layout) : m_decoder(layout), m_encoder(layout) { m_assembler.setLayout(layout); }

    // The frame's reports, or only its first (the others lost).
    std::string send(const std::vector<EncodedContact>& contacts, bool down = true, bool firstOnly = false)
    {
        std::string frames;
        const QList<QByteArray> reports = m_encoder.frame(contacts, down);
        for (qsizetype i = 0; i < (firstOnly ? 1 : reports.size()); ++i)
            frames += deliver(reports[i]);
        return frames;
    }
    std::string deliver(const QByteArray& report)
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(report.constData());
        const TouchContactList list = m_decoder.contactsFromReport(bytes, std::size_t(report.size()));
        return m_assembler.add(list, bytes, std::size_t(report.size())) ? ids() : std::string();
    }
    std::string flush() { return m_assembler.flush() ? ids() + "-" : std::string(); }

private:
    TouchReportDecoder m_decoder;
    touchtest::ReportEncoder m_encoder;
    TouchFrameAssembler m_assembler;

    std::string ids() const
    {
        std::string text = "[";
        for (int i = 0; i < m_assembler.frame().count; ++i)
            text += (i ? " " : "") + std::to_string(m_assembler.frame().contacts[i].contactID);
        return text + "]";
    }
};

} // namespace

TEST(TouchFrameAssembler, FramesOverSeveralReports)
{
    Frames frames(Descriptor().application(1).contacts(2).contactCount().end().layout());
    // Five contacts in three reports make one frame; a report of another ID is none.
    EXPECT_EQ(frames.send({{1}, {2}, {3}, {4}, {5}}), "[1 2 3 4 5]");
    EXPECT_EQ(frames.deliver(QByteArray::fromHex("0201")), "");
    EXPECT_EQ(frames.send({{1}, {2}}), "[1 2]");
    // A frame that never completes is handed on as it is, once.
    EXPECT_EQ(frames.send({{1}, {2}, {3}}, true, true), "");
    EXPECT_EQ(frames.flush(), "[1 2]-");
    EXPECT_EQ(frames.flush(), "");
    EXPECT_EQ(frames.send({}), "[]");
}

TEST(TouchFrameAssembler, OneReportPerContactTrackedByIdentifier)
{
    // One contact collection, no Contact Count: each report tells of one contact.
    Frames frames(Descriptor().application(1).contacts(1).end().layout());
    EXPECT_EQ(frames.send({{4, 10, 10}}), "[4]");
    EXPECT_EQ(frames.send({{7, 20, 20}, {4, 11, 11}}), "[4 7][4 7]");
    EXPECT_EQ(frames.send({{4}}, false), "[7]");
    EXPECT_EQ(frames.send({{9}}, false), "[7]") << "a lift of an unknown contact changes nothing";
    EXPECT_EQ(frames.send({{7}}, false), "[]");
    // More than eight at once: the first eight.
    std::vector<EncodedContact> ten;
    for (int id = 0; id < 10; ++id)
        ten.push_back({id});
    frames.send(ten);
    EXPECT_EQ(frames.send({{9}}), "[0 1 2 3 4 5 6 7]");
}
