#include "app/ForwardingEventSink.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// Notes frames and the events inside them.
class FrameRecordingSink final : public EventSink {
public:
    QStringList log;

    void postMouseEvent(MouseEventType, MouseButton, QPointF, std::uint64_t, std::int64_t) override { log << "mouse"; }
    void postScrollWheel(std::int32_t, std::int32_t, std::uint64_t) override { log << "wheel"; }
    void postMagnify(double, int, QPointF) override {}
    void postKey(std::uint16_t, bool, std::uint64_t) override {}
    void postUnicodeText(const char16_t*, int, std::uint64_t) override {}
    void postMediaKey(int, bool) override {}
    void warpCursor(QPointF) override { log << "warp"; }
    void launchProgram(const QString&, const QStringList&) override {}
    void beginFrame() override { log << "begin"; }
    void endFrame() override { log << "end"; }
};

} // namespace

TEST(ForwardingEventSink, FramesReachTheSinkTheyBeganOnAndNeverStayOpen)
{
    FrameRecordingSink first, second;
    EventSink* target = &first;
    ForwardingEventSink sink([&] { return target; });

    // Nested frames are one frame on the target.
    sink.beginFrame();
    sink.warpCursor({1, 1});
    sink.beginFrame();
    sink.postScrollWheel(48, 0, 0);
    sink.endFrame();
    sink.endFrame();
    sink.endFrame(); // one too many: ignored
    EXPECT_EQ(first.log, QStringList({"begin", "warp", "wheel", "end"}));

    // The target changes in the middle of a frame: the new one gets the
    // events without a frame, and no frame is ended that was not begun.
    first.log.clear();
    sink.beginFrame();
    sink.warpCursor({2, 2});
    target = &second;
    sink.postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {2, 2}, 0, 1);
    sink.endFrame();
    EXPECT_EQ(first.log, QStringList({"begin", "warp"}));
    EXPECT_EQ(second.log, QStringList({"mouse"}));

    // Without a target frames cost nothing, and the next frame is whole again.
    target = nullptr;
    sink.beginFrame();
    sink.warpCursor({3, 3});
    sink.endFrame();
    target = &second;
    sink.beginFrame();
    sink.endFrame();
    EXPECT_EQ(second.log, QStringList({"mouse", "begin", "end"}));
}
