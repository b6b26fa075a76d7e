#include "touch/ReportDecoder.h"
#include "touch/TouchFrameAssembler.h"

#include <gtest/gtest.h>

#include "tests/touch/TouchTestData.h"

using touchtest::Descriptor;

namespace {

// Decodes and assembles reports; the ids of each frame handed on.
class Frames {
public:
    explicit Frames(const TouchLayout& layout) : m_decoder(layout) { m_assembler.setLayout(layout); }

    std::string deliver(const std::string& hex)
    {
        const std::vector<std::uint8_t> report = touchtest::bytes(hex.c_str());
        const TouchContactList list = m_decoder.contactsFromReport(report.data(), report.size());
        return m_assembler.add(list, report.data(), report.size()) ? ids() : std::string();
    }

private:
    TouchReportDecoder m_decoder;
    TouchFrameAssembler m_assembler;

    std::string ids() const
    {
        std::string text = "[";
        for (int i = 0; i < m_assembler.frame().count; ++i)
            text += (i ? " " : "") + std::to_string(m_assembler.frame().contacts[i].contactID);
        return text + "]";
    }
};

// One contact of a Descriptor::contact() collection: flags (Tip Switch,
// In Range), identifier, X and Y.
std::string contact(int id, bool down = true)
{
    char text[32];
    std::snprintf(text, sizeof text, " %02x %02x 0a00 0b00", down ? 3 : 2, id);
    return text;
}

} // namespace

// Frames over several reports, their time-out and reports of other IDs are
// the bridge test's; here what only the assembler decides.
TEST(TouchFrameAssembler, OneReportPerContactTrackedByIdentifier)
{
    // One contact collection, no Contact Count: each report tells of one contact.
    Frames frames(Descriptor().application(1).contacts(1).end().layout());
    EXPECT_EQ(frames.deliver("01" + contact(4)), "[4]");
    EXPECT_EQ(frames.deliver("01" + contact(7)), "[4 7]");
    EXPECT_EQ(frames.deliver("01" + contact(4)), "[4 7]");
    EXPECT_EQ(frames.deliver("01" + contact(4, false)), "[7]");
    EXPECT_EQ(frames.deliver("01" + contact(9, false)), "[7]") << "a lift of an unknown contact changes nothing";
    EXPECT_EQ(frames.deliver("01" + contact(7, false)), "[]");
    // More than eight at once: the first eight.
    for (int id = 0; id < 10; ++id)
        frames.deliver("01" + contact(id));
    EXPECT_EQ(frames.deliver("01" + contact(9)), "[0 1 2 3 4 5 6 7]");
}
