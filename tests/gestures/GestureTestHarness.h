#pragma once
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "gestures/VTGestureEngine.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"

#include <gtest/gtest.h>

#include <QJsonValue>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <ostream>
#include <vector>

#include "tests/support/QtPrinters.h"

using Points = std::vector<QPointF>;
constexpr double kTick = 1.0 / 60.0;

// Two fingers 100 points apart whose centre is (x, y).
inline Points pairAt(double x, double y) { return {QPointF(x - 50, y), QPointF(x + 50, y)}; }

// An engine on a virtual clock with a trace sink, fresh settings and one
// 1000 x 1000 display at the origin. Raw contact values are hundredths of a
// point, so test points read as display points.
class GestureEngineTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler{1000.0};
    TraceEventSink trace{scheduler};
    FakeDisplayServices displays;
    VTGestureEngine engine{trace, scheduler, settings, displays, center, 0.5};

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings.registerDefaults();
        displays.addDisplay(1, QRectF(0, 0, 1000, 1000));
        displays.setMainDisplay(1);
        engine.updateDisplayBounds();
    }

    static TouchContactList frameOf(const Points& points, std::int64_t kind = ContactKindFinger)
    {
        TouchContactList frame;
        for (QPointF p : points) {
            TouchContact& c = frame.contacts[frame.count++];
            c.rawX = static_cast<std::uint32_t>(std::llround(p.x() * 100));
            c.rawY = static_cast<std::uint32_t>(std::llround(p.y() * 100));
            c.xMaximum = c.yMaximum = 100000;
            c.kind = kind;
        }
        return frame;
    }
    void touch(const Points& points, std::int64_t kind = ContactKindFinger) { engine.handleContacts(frameOf(points, kind)); }
    void lift() { engine.handleContacts(TouchContactList{}); }
    void tap(QPointF p, double hold = 0.02) { touch({p}); advance(hold); lift(); }
    // Frames at(100), then `frames` more, each `step` points further down
    // and `dt` later.
    void swipe(const std::function<Points(double)>& at, int frames = 3, double step = 6, double dt = kTick)
    {
        touch(at(100));
        for (int i = 1; i <= frames; ++i) {
            advance(dt);
            touch(at(100 + step * i));
        }
    }
    void advance(double seconds) { scheduler.advance(seconds); }

    void set(const QString& key, const QJsonValue& value) { settings.setSettingValue(key, value); }
    void setInput(InputType in, InputSetting setting, const QJsonValue& v) { set(SettingsStore::inputKey(in, setting), v); }
    void setMouseAction(InputType in, MouseAction a) { setInput(in, InputSetting::MouseAction, qint64(a)); }
    void setKeyboardAction(InputType in, KeyboardAction a) { setInput(in, InputSetting::ModifierAction, qint64(a)); }

    QStringList take() { return trace.takeLines(); }
    // Only the lines whose event is `event` ("scroll", "mouse", ...).
    QStringList take(const QString& event) { return take().filter(QRegularExpression("^\\S+ " + event + ' ')); }
    // The trace lines in short ("0.040 left-down at=103,100 click=1"),
    // joined by "; ": no "mouse", button number, zero flags or ".00".
    QString brief(const QString& event = {})
    {
        static const QRegularExpression noise(QStringLiteral("mouse | button=\\d| flags=0x0|\\.00(?=[ ,]|$)"));
        QStringList lines = event.isEmpty() ? take() : take(event);
        for (QString& line : lines)
            line.remove(noise);
        return lines.join(QStringLiteral("; "));
    }
};
