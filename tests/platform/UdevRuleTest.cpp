// The udev rule decides who may read which device and what the desktop
// takes Velotap's virtual keyboard for, so it is checked here: the rule file
// as shipped, applied the way udev applies it to fake sysfs devices, its
// PROGRAM run by the shell; and real udevadm runs it, on fake devices too.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/linux/UinputEventSink.h"
#include "tests/support/FakeEvdevDevice.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UdevRules.h"

namespace {

// HID devices as the kernel shows them: the HID device with its report
// descriptor, its hidraw node, and the input devices it made with their
// property bits (hexadecimal, as sysfs prints them) and event nodes.
class FakeHidSysfs {
public:
    struct Hid {
        QStringList devpaths; // the hidraw node, then each event node
    };

    QString root() const { return m_dir.path(); }

    Hid add(const QStringList& inputProperties)
    {
        ++m_count;
        const QString hid = QStringLiteral("/devices/pci0000:00/usb1/1-%1/1-%1:1.0/0003:04E8:2084.%1").arg(m_count);
        write(hid + QStringLiteral("/report_descriptor"), "\x05\x0d");
        Hid result{{hid + QStringLiteral("/hidraw/hidraw%1").arg(m_count)}};
        for (const QString& properties : inputProperties) {
            const QString input = hid + QStringLiteral("/input/input%1").arg(++m_inputs);
            write(input + QStringLiteral("/properties"), properties.toLatin1() + '\n');
            result.devpaths << input + QStringLiteral("/event%1").arg(m_inputs);
            QDir().mkpath(root() + QStringLiteral("/sys") + result.devpaths.last());
        }
        QDir().mkpath(root() + QStringLiteral("/sys") + result.devpaths.first());
        return result;
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
    int m_inputs = 0;

    void write(const QString& devpath, const QByteArray& data) { writeTestFile(root() + QStringLiteral("/sys") + devpath, data); }
};

class UdevRuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rules = std::make_unique<UdevRuleEvaluator>(UdevRuleEvaluator::shipped(sysfs.root()));
    }

    // The nodes of a HID device that the rule gives the user at the seat.
    QStringList granted(const FakeHidSysfs::Hid& hid, const QString& driver = QStringLiteral("hid-multitouch"),
                        const QString& action = QStringLiteral("add"))
    {
        QStringList result;
        for (const QString& devpath : hid.devpaths) {
            const QString kernel = devpath.section(QLatin1Char('/'), -1);
            const UdevEvent event{kernel.startsWith(QLatin1String("hidraw")) ? "hidraw" : "input", kernel,
                                  {driver, "usbhid", "usb"}, devpath, action};
            if (rules->tags(event).contains(QStringLiteral("uaccess")))
                result << kernel;
        }
        return result;
    }

    FakeHidSysfs sysfs;
    std::unique_ptr<UdevRuleEvaluator> rules;
};

TEST_F(UdevRuleTest, OnlyTouchScreensAndPenDisplaysAreOpenedToTheSeatUser)
{
    // A touch display: its touch screen is direct, its mouse collection not.
    const auto display = sysfs.add({"2", "0"});
    EXPECT_EQ(granted(display), (QStringList{"hidraw1", "event1", "event2"}));
    // A pen display, whose property word carries another bit as well.
    EXPECT_EQ(granted(sysfs.add({"12"})), (QStringList{"hidraw2", "event3"}));

    // A precision touchpad (pointer, button pad) and a keyboard cover with
    // one: the same driver, no direct input, nothing opened.
    EXPECT_EQ(granted(sysfs.add({"5"})), QStringList());
    EXPECT_EQ(granted(sysfs.add({"0", "5", "10"})), QStringList());

    // Another driver needs its USB IDs named; removal runs nothing.
    EXPECT_EQ(granted(display, "hid-generic"), QStringList());
    EXPECT_EQ(granted(display, "hid-multitouch", "remove"), QStringList());

    // uinput for the synthetic input, nothing else of its subsystem.
    EXPECT_EQ(rules->tags({"misc", "uinput", {}, "/devices/virtual/misc/uinput"}), QStringList{"uaccess"});
    EXPECT_EQ(rules->tags({"misc", "fuse", {}, "/devices/virtual/misc/fuse"}), QStringList());
}

TEST_F(UdevRuleTest, OnlyVelotapsVirtualKeyboardLosesTheMouseProperty)
{
    UdevEvent keyboard{"input", "event9", {}, "/devices/virtual/input/input9/event9", "add",
                       {{"name", "Velotap keyboard"}, {"id/bustype", "0006"}, {"id/vendor", "1209"}, {"id/product", "7654"}},
                       {{"ID_INPUT", "1"}, {"ID_INPUT_MOUSE", "1"}}};
    EXPECT_EQ(rules->evaluate(keyboard).properties, (UdevProperties{{"ID_INPUT", "1"}}));
    EXPECT_EQ(rules->tags(keyboard), QStringList());
    // A real keyboard of that name, or Velotap's pointer, stays a mouse.
    keyboard.attributes["id/bustype"] = "0003";
    EXPECT_EQ(rules->evaluate(keyboard).properties, keyboard.properties);
    keyboard.attributes = {{"name", "Velotap pointer"}, {"id/bustype", "0006"}, {"id/vendor", "1209"}, {"id/product", "7654"}};
    EXPECT_EQ(rules->evaluate(keyboard).properties, keyboard.properties);
}

// udev's own trial of the rules on one device, in a private mount
// namespace: the system's rules with or without ours, optionally a fake
// sysfs in place of /sys, and a private /run and /dev for the database and
// links it writes. Empty output when it cannot run here.
QString udevadmTest(const QString& devpath, bool withOurRule, const QString& sysRoot = {})
{
    const QString udevadm = QStandardPaths::findExecutable(QStringLiteral("udevadm"));
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    QTemporaryDir dir;
    if (udevadm.isEmpty() || unshare.isEmpty() || !QDir().mkpath(dir.filePath("rules")))
        return {};
    if (withOurRule && !QFile::copy(UdevRuleEvaluator::shippedRuleFile(), dir.filePath("rules/70-velotap.rules")))
        return {};
    static const char* kScript = R"(set -e
mkdir -p "$1/run" "$1/dev" && touch "$1/dev/null" && mount --bind /dev/null "$1/dev/null"
if [ -n "$2" ]; then mount --bind "$2" /sys; fi
mount --bind "$1/rules" /etc/udev/rules.d
mount --bind "$1/run" /run
mount --rbind "$1/dev" /dev
exec "$3" test --action=add "$4")";
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A fake sysfs is not the kernel's file system.
    environment.insert(QStringLiteral("SYSTEMD_DEVICE_VERIFY_SYSFS"), QStringLiteral("0"));
    process.setProcessEnvironment(environment);
    process.start(unshare, {"--mount", "--map-root-user", "sh", "-c", kScript, "sh", dir.path(), sysRoot, udevadm, devpath});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    const QString output = QString::fromUtf8(process.readAll());
    return !withOurRule || output.contains(QStringLiteral("70-velotap.rules")) ? output : QString();
}

// What udevadm's trial says a device is taken for.
UdevProperties inputPropertiesIn(const QString& output)
{
    UdevProperties properties;
    static const QRegularExpression line(QStringLiteral("^(ID_INPUT[A-Z_]*)=(.*)$"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(output); it.hasNext();) {
        const auto m = it.next();
        properties[m.captured(1)] = m.captured(2);
    }
    return properties;
}

// A virtual input device made through uinput, as sysfs shows it: who it
// says it is, what it declares, and its event node. Returns the node's path.
QString addVirtualInputDevice(const QString& sysRoot, const UinputDeviceLayout& layout, int number)
{
    // Bitmaps as the kernel prints them: words of a long, the highest first.
    const auto bitmap = [](const std::vector<std::uint16_t>& codes) {
        constexpr std::size_t kBits = sizeof(unsigned long) * 8;
        std::vector<unsigned long> words(1, 0);
        for (std::uint16_t code : codes) {
            words.resize(std::max(words.size(), code / kBits + 1), 0);
            words[code / kBits] |= 1UL << (code % kBits);
        }
        QByteArray text;
        for (std::size_t i = words.size(); i-- > 0;)
            text += QByteArray::number(qulonglong(words[i]), 16) + (i ? ' ' : '\n');
        return text;
    };
    std::vector<std::uint16_t> types{EV_SYN}, absolute;
    if (!layout.keys.empty())
        types.push_back(EV_KEY);
    if (!layout.relativeAxes.empty())
        types.push_back(EV_REL);
    if (!layout.absoluteAxes.empty())
        types.push_back(EV_ABS);
    for (const auto& axis : layout.absoluteAxes)
        absolute.push_back(axis.code);
    const auto id = [](std::uint16_t value) { return QByteArray::number(value, 16).rightJustified(4, '0') + '\n'; };

    const QString input = QStringLiteral("/devices/virtual/input/input%1").arg(number);
    const QString event = input + QStringLiteral("/event%1").arg(number);
    const std::pair<QString, QByteArray> files[] = {
        {"uevent", "NAME=\"" + UinputDevice::nameOf(layout).toUtf8() + "\"\n"},
        {"name", UinputDevice::nameOf(layout).toUtf8() + '\n'},
        {"id/bustype", id(UinputDevice::kBusType)},
        {"id/vendor", id(UinputDevice::kVendor)},
        {"id/product", id(UinputDevice::kProduct)},
        {"id/version", "0001\n"},
        {"properties", "0\n"},
        {"capabilities/ev", bitmap(types)},
        {"capabilities/key", bitmap(layout.keys)},
        {"capabilities/rel", bitmap(layout.relativeAxes)},
        {"capabilities/abs", bitmap(absolute)},
        {QStringLiteral("event%1/uevent").arg(number),
         QStringLiteral("MAJOR=13\nMINOR=%1\nDEVNAME=input/event%2\n").arg(64 + number).arg(number).toUtf8()},
        {QStringLiteral("event%1/dev").arg(number), QStringLiteral("13:%1\n").arg(64 + number).toUtf8()}};
    for (const auto& [file, contents] : files)
        writeTestFile(sysRoot + input + QLatin1Char('/') + file, contents);
    QDir().mkpath(sysRoot + QStringLiteral("/class/input"));
    QFile::link(QStringLiteral("../../../../class/input"), sysRoot + input + QStringLiteral("/subsystem"));
    QFile::link(QStringLiteral("../../../../../class/input"), sysRoot + event + QStringLiteral("/subsystem"));
    return QStringLiteral("/sys") + event;
}

TEST_F(UdevRuleTest, UdevTakesTheVirtualKeyboardForAKeyboardOnlyAsTheFakeDesktopHasIt)
{
    QTemporaryDir sys;
    const std::pair<UinputDeviceLayout, QString> devices[] = {
        {UinputEventSink::pointerLayout(), addVirtualInputDevice(sys.path(), UinputEventSink::pointerLayout(), 40)},
        {UinputEventSink::keyboardLayout(), addVirtualInputDevice(sys.path(), UinputEventSink::keyboardLayout(), 41)}};
    const QString keyboardWithRule = udevadmTest(devices[1].second, true, sys.path());
    if (keyboardWithRule.isEmpty())
        GTEST_SKIP() << "cannot run udevadm on a fake sysfs here";

    // udev reads the rule without complaint.
    for (const QString& line : keyboardWithRule.split(QLatin1Char('\n')))
        EXPECT_FALSE(line.contains(QStringLiteral("70-velotap.rules:"))) << line.toStdString();

    // What the desktop's left-handed setting hinges on, from udev itself.
    const UdevProperties keyboard = inputPropertiesIn(keyboardWithRule);
    EXPECT_EQ(keyboard.value("ID_INPUT_KEYBOARD"), "1");
    EXPECT_FALSE(keyboard.contains("ID_INPUT_MOUSE"));
    EXPECT_EQ(inputPropertiesIn(udevadmTest(devices[1].second, false, sys.path())).value("ID_INPUT_MOUSE"), "1");

    // The fake devices' classification agrees with udev's, rule or not.
    for (const auto& [layout, devpath] : devices) {
        for (const bool withRule : {true, false}) {
            const auto rule = withRule ? FakeEvdevDevice::UdevRule::Installed : FakeEvdevDevice::UdevRule::Missing;
            EXPECT_EQ(inputPropertiesIn(udevadmTest(devpath, withRule, sys.path())),
                      FakeEvdevDevice(layout, rule).udevProperties())
                << layout.name << (withRule ? " with" : " without") << " the rule";
        }
    }
}

} // namespace
