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
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// An engine on a virtual clock with a trace sink, fresh settings and one
// 1000 x 1000 display at the origin. Raw contact values are hundredths of a
// point, so test points read as display points.
class GestureEngineTest : public ::testing::Test {
protected:
    static constexpr std::int32_t kRawPerPoint = 100;

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

    static TouchContact contactAt(QPointF p, std::int64_t kind = ContactKindFinger)
    {
        TouchContact c;
        c.rawX = static_cast<std::uint32_t>(std::llround(p.x() * kRawPerPoint));
        c.rawY = static_cast<std::uint32_t>(std::llround(p.y() * kRawPerPoint));
        c.xMaximum = c.yMaximum = 1000 * kRawPerPoint;
        c.kind = kind;
        return c;
    }

    static TouchContactList frameOf(const std::vector<QPointF>& points, std::int64_t kind = ContactKindFinger)
    {
        TouchContactList frame;
        for (QPointF p : points)
            frame.contacts[frame.count++] = contactAt(p, kind);
        return frame;
    }

    void touch(const std::vector<QPointF>& points, std::int64_t kind = ContactKindFinger)
    {
        engine.handleContacts(frameOf(points, kind));
    }
    void lift() { engine.handleContacts(TouchContactList{}); }
    void advance(double seconds) { scheduler.advance(seconds); }

    void set(const QString& key, const QJsonValue& value) { settings.setSettingValue(key, value); }
    void setInput(InputType input, InputSetting setting, const QJsonValue& value)
    {
        set(SettingsStore::inputKey(input, setting), value);
    }
    void setMouseAction(InputType input, MouseAction action)
    {
        setInput(input, InputSetting::MouseAction, static_cast<qint64>(action));
    }
    void setKeyboardAction(InputType input, KeyboardAction action)
    {
        setInput(input, InputSetting::ModifierAction, static_cast<qint64>(action));
    }

    QStringList take() { return trace.takeLines(); }
    // Only the lines whose event starts with `event` ("scroll", "mouse", ...).
    QStringList take(const QString& event)
    {
        QStringList picked;
        for (const QString& line : trace.takeLines()) {
            if (line.section(QLatin1Char(' '), 1, 1) == event)
                picked << line;
        }
        return picked;
    }
};
