#include "platform/linux/HidDescriptorFacts.h"
#include "platform/linux/SysfsHidDeviceSource.h"
#include "platform/linux/UdevMonitor.h"
#include "tests/support/AssertEventually.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestFiles.h"
#include "tests/touch/RealDescriptorData.h"
#include "touch/DeviceDiscovery.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace {

// Number and text properties as "key=value" in key order, numbers in hex.
QString scalarProperties(const QVariantMap& properties)
{
    QStringList parts;
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if (it->typeId() == QMetaType::LongLong)
            parts << it.key() + QStringLiteral("=0x") + QString::number(it->toLongLong(), 16);
        else if (it->typeId() == QMetaType::QString)
            parts << it.key() + QLatin1Char('=') + it->toString();
    }
    return parts.join(QLatin1Char(' '));
}

using UsageAndSize = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
UsageAndSize usageAndSize(const HidDescriptorFacts& f) { return {f.primaryUsagePage, f.primaryUsage, f.maxInputReportSize}; }

} // namespace

// The facts of a descriptor with report IDs are checked through the device properties below.
TEST(HidDescriptorFacts, WithoutReportIDsTruncatedAndNoise)
{
    // Without report IDs there is no ID byte; a 4-byte usage names its own page.
    EXPECT_EQ(usageAndSize(hidDescriptorFacts(QByteArray::fromHex("0b04000d00a101750895048102c0"))), UsageAndSize(0x0D, 4, 4));

    // A truncated item ends the walk; without a collection the first usage names the device.
    const HidDescriptorFacts truncated = hidDescriptorFacts(QByteArray::fromHex("0501 0902 a1"));
    EXPECT_EQ(usageAndSize(truncated), UsageAndSize(1, 2, 0));
    EXPECT_TRUE(truncated.topLevelUsages.empty());
    EXPECT_EQ(hidDescriptorFacts({}).maxInputReportSize, 0);
    QByteArray noise(512, '\0');
    for (int seed = 0; seed < 200; ++seed) {
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 131 + seed * 7919) ^ (seed << 3));
        EXPECT_GE(hidDescriptorFacts(noise).maxInputReportSize, 0);
    }
}

TEST(SysfsHidDeviceSource, ReadsPropertiesFromUeventUsbAndDescriptor)
{
    FakeSysfs fake;
    fake.add({.hidraw = QStringLiteral("hidraw10")});
    fake.add({.hidraw = QStringLiteral("hidraw2"), .interfaceName = QStringLiteral("1.1")}); // the same display's second interface
    fake.add({.hidraw = QStringLiteral("hidraw3"), .devpath = QStringLiteral("6.4")});       // the same model on another port
    fake.add({.hidraw = QStringLiteral("hidraw4"), .hidId = QStringLiteral("0018:000004F3:00002A49"),
              .name = QStringLiteral("ELAN Touchscreen"), .phys = QStringLiteral("i2c-ELAN0001:00"), .uniq = QStringLiteral("abc"),
              .busnum = {}});
    // Buses above 127, ports above 15 and deep hub chains do not fit the
    // nibbles: each gets a location of its own all the same.
    fake.add({.hidraw = QStringLiteral("hidraw6"), .busnum = QStringLiteral("129"), .devpath = QStringLiteral("6.3")});
    fake.add({.hidraw = QStringLiteral("hidraw7"), .devpath = QStringLiteral("6.19")});
    fake.add({.hidraw = QStringLiteral("hidraw8"), .devpath = QStringLiteral("1.2.3.4.5.6.7")});
    fake.add({.hidraw = QStringLiteral("hidraw9"), .devpath = QStringLiteral("1.2.3.4.5.6.8")});
    SysfsHidDeviceSource source({fake.sysfs(), fake.dev(), {}, {}, {}, {}});
    auto devices = source.devices();
    ASSERT_EQ(devices.size(), 8u);
    QSet<qint64> locations;
    for (const auto& d : devices)
        locations << d.properties.value(QStringLiteral("LocationID")).toLongLong();
    EXPECT_EQ(locations.size(), 7) << "hidraw2 and hidraw10 are one display";
    EXPECT_TRUE(std::all_of(locations.begin(), locations.end(), [](qint64 l) { return l > 0 && l <= 0x7FFFFFFF; }));
    std::erase_if(devices, [](const HidDeviceInfo& d) { return QStringList{"6", "7", "8", "9"}.contains(d.node.right(1)); });
    ASSERT_EQ(devices.size(), 4u);
    // Numeric order: hidraw2 before hidraw10.
    EXPECT_EQ(devices[0].node, fake.dev() + QStringLiteral("/hidraw2"));
    EXPECT_EQ(devices[3].node, fake.dev() + QStringLiteral("/hidraw10"));
    std::map<QString, QVariantMap> props;
    for (const auto& d : devices)
        props[QFileInfo(d.node).fileName()] = d.properties;

    // Touch report: 8 bits flags + 8 id + 2x16 xy + 8 count = 7 bytes, plus the ID.
    const QVariantMap& p = props["hidraw10"];
    EXPECT_EQ(scalarProperties(p), QStringLiteral("LocationID=0x1630000 Manufacturer=Samsung MaxInputReportSize=0x8 "
                                                  "PhysicalPath=usb-0000:00:14.0-6.3/input0 PrimaryUsage=0x2 "
                                                  "PrimaryUsagePage=0x1 Product=Touch Display ProductID=0x2084 SerialNumber=SN:01|A "
                                                  "Transport=USB VendorID=0x4e8"));
    EXPECT_EQ(p.value(QStringLiteral("ReportDescriptor")).toByteArray(), kMouseThenTouch);
    const auto usage = [](qint64 page, qint64 id) { return QVariantMap{{QStringLiteral("DeviceUsagePage"), page}, {QStringLiteral("DeviceUsage"), id}}; };
    EXPECT_EQ(p.value(QStringLiteral("DeviceUsagePairs")).toList(), (QVariantList{usage(1, 2), usage(0x0D, 4)}));
    EXPECT_EQ(props["hidraw2"].value(QStringLiteral("LocationID")), p.value(QStringLiteral("LocationID")));
    EXPECT_EQ(props["hidraw3"].value(QStringLiteral("LocationID")).toLongLong(), 0x01640000);
    // Without USB the location is a hash of the physical path, the same on every run.
    EXPECT_EQ(scalarProperties(props["hidraw4"]), QStringLiteral("LocationID=0x6f22fc8b MaxInputReportSize=0x8 PhysicalPath=i2c-ELAN0001:00 PrimaryUsage=0x2 "
                                                                 "PrimaryUsagePage=0x1 Product=ELAN Touchscreen ProductID=0x2a49 "
                                                                 "SerialNumber=abc Transport=I2C VendorID=0x4f3"));

}

// Stands in for udev's monitor: a byte written to the pipe is one event.
class PipeEvents final : public HotplugEvents {
public:
    explicit PipeEvents(int readEnd) : m_fd(readEnd) { ::fcntl(m_fd, F_SETFL, O_NONBLOCK); }
    int fd() const override { return m_fd; }
    void drain() override
    {
        char buffer[16];
        while (::read(m_fd, buffer, sizeof buffer) > 0) {
        }
    }

private:
    int m_fd;
};

TEST(SysfsHidDeviceSource, HotplugEventsAndNodesThatBecomeReadable)
{
    FakeSysfs fake;
    fake.add({.hidraw = QStringLiteral("hidraw0")});
    int events[2];
    ASSERT_EQ(::pipe(events), 0);
    bool readable = false;
    SysfsHidDeviceSource::Options options{fake.sysfs(), fake.dev(), {}, {}, {}, {}};
    options.isReadable = [&](const QString&) { return readable; };
    options.hotplugEvents = [&] { return std::make_unique<PipeEvents>(events[0]); };
    SysfsHidDeviceSource source(options);

    // Every observer hears each event, once per wake-up; a removed one no more.
    int bridgeHeard = 0, windowHeard = 0;
    source.addDevicesChangedObserver([&] { ++bridgeHeard; });
    const auto window = source.addDevicesChangedObserver([&] { ++windowHeard; });
    ASSERT_EQ(::write(events[1], "aa", 2), 2);
    ASSERT_EVENTUALLY(bridgeHeard == 1, 5000);
    EXPECT_EQ(windowHeard, 1);
    source.removeDevicesChangedObserver(window);

    // A node that cannot be read is watched: when its access changes and it
    // can be read, the observers hear of it without any hotplug event.
    const HidDeviceInfo device = source.devices().at(0);
    EXPECT_FALSE(source.canRead(device));
    QFile node(device.node);
    ASSERT_TRUE(node.setPermissions(QFile::ReadOwner));
    QCoreApplication::processEvents();
    EXPECT_EQ(bridgeHeard, 1) << "still unreadable: nothing to tell";
    readable = true;
    ASSERT_TRUE(node.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_EVENTUALLY(bridgeHeard == 2, 5000);
    EXPECT_EQ(windowHeard, 1);
    ::close(events[0]);
    ::close(events[1]);

    // Without udev the dev directory is watched for nodes coming and going.
    SysfsHidDeviceSource::Options fallback{fake.sysfs(), fake.dev(), {}, {}, {}, {}};
    fallback.hotplugEvents = [] { return std::unique_ptr<HotplugEvents>(); };
    SysfsHidDeviceSource watching(fallback);
    int changes = 0;
    watching.addDevicesChangedObserver([&] { ++changes; });
    fake.add({.hidraw = QStringLiteral("hidraw5")});
    ASSERT_EVENTUALLY(changes > 0, 5000);
    EXPECT_EQ(watching.devices().size(), 2u);
}

// Open errors say what they are. A kernel input node refused at open, for
// want of access (udev grants it a moment after the raw node) or because
// another program holds it, is taken once it can be; meanwhile the stream
// and a probe say why it is not.
TEST(SysfsHidDeviceSource, OpenFailuresDeliveryKernelInputNodesTakenOnceTheyCanBeAndRemoval)
{
    FakeSysfs fake;
    fake.add({.hidraw = QStringLiteral("hidraw0"), .eventNodes = {QStringLiteral("event7"), QStringLiteral("event8")}});
    const QString event7 = fake.dev() + QStringLiteral("/input/event7");
    const QString event8 = fake.dev() + QStringLiteral("/input/event8");
    for (const QString& node : {event7, event8})
        writeTestFile(node, {});
    int hid[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, hid), 0);
    int deny = 0;
    bool event7Readable = false;
    bool event8Held = true; // by another program
    std::map<int, QString> opened;
    std::vector<std::pair<QString, bool>> grabs;
    SysfsHidDeviceSource::Options options{fake.sysfs(), fake.dev(), {}, {}, {}, {}};
    options.openNode = [&](const QByteArray& path, int flags) -> int {
        const QString node = QFile::decodeName(path);
        if (node.endsWith(QLatin1String("hidraw0"))) {
            EXPECT_TRUE(flags & O_NONBLOCK);
            errno = deny;
            return deny ? -1 : hid[0];
        }
        if (node == event7 && !event7Readable) {
            errno = EACCES;
            return -1;
        }
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        opened[fd] = node;
        return fd;
    };
    options.grabInputNode = [&](int fd, bool grab) {
        if (grab && opened[fd] == event8 && event8Held) {
            errno = EBUSY;
            return -1;
        }
        grabs.emplace_back(QFileInfo(opened[fd]).fileName(), grab);
        return 0;
    };
    SysfsHidDeviceSource source(options);
    const HidDeviceInfo device = source.devices().at(0);
    const auto errors = [](const std::vector<KernelInputNode>& nodes) {
        QStringList text;
        for (const KernelInputNode& n : nodes)
            text << QFileInfo(n.node).fileName() + QLatin1Char('=') + QString::number(n.error);
        return text.join(QLatin1Char(' '));
    };
    EXPECT_EQ(errors(source.probeInputNodes(device.node)), QStringLiteral("event7=%1 event8=%2").arg(EACCES).arg(EBUSY));

    using Failure = HidDeviceSource::OpenFailure;
    Failure failure = Failure::None;
    int code = 0;
    for (const auto& [error, expected] : {std::pair{EACCES, Failure::PermissionDenied}, {ENOENT, Failure::NotFound}, {EBUSY, Failure::Other}}) {
        deny = error;
        EXPECT_FALSE(source.open(device, {}, [](const std::uint8_t*, int) {}, [] {}, &failure, &code));
        EXPECT_EQ(failure, expected);
        EXPECT_EQ(code, error);
    }
    deny = 0;

    int changes = 0;
    int removals = 0;
    QList<QByteArray> reports;
    auto stream = source.open(device, {true, [&] { ++changes; }}, [&](const std::uint8_t* r, int n) {
        reports << QByteArray(reinterpret_cast<const char*>(r), n);
    }, [&] { ++removals; }, &failure, &code);
    ASSERT_TRUE(stream);
    EXPECT_EQ(failure, Failure::None);
    EXPECT_EQ(errors(stream->untakenInputNodes()), QStringLiteral("event7=%1 event8=%2").arg(EACCES).arg(EBUSY));

    // udev gives the seat's user access to event7.
    event7Readable = true;
    ASSERT_TRUE(QFile::setPermissions(event7, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_EVENTUALLY(changes == 1, 5000);
    EXPECT_EQ(errors(stream->untakenInputNodes()), QStringLiteral("event8=%1").arg(EBUSY));

    // The other program lets go of event8: taken again while touches arrive.
    event8Held = false;
    const auto deliver = [&](int count) {
        const qsizetype goal = reports.size() + count;
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(::write(hid[1], "\x02\x00", 2), 2);
        ASSERT_EVENTUALLY(reports.size() == goal, 5000);
    };
    deliver(99);
    EXPECT_EQ(changes, 1); // not tried on every report
    deliver(1);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(stream->untakenInputNodes().empty());
    EXPECT_EQ(grabs, (std::vector<std::pair<QString, bool>>{{"event7", true}, {"event8", true}}));
    EXPECT_EQ(errors(source.probeInputNodes(device.node)), QStringLiteral("event7=0 event8=0"));

    // One report per read, boundaries kept, up to the longest report.
    const QByteArray first = QByteArray::fromHex("02010a0010002001");
    const QByteArray second = QByteArray::fromHex("0200");
    const QByteArray longest(600, '\x02');
    for (const QByteArray& report : {first, second, longest})
        ASSERT_EQ(::write(hid[1], report.constData(), report.size()), report.size());
    ASSERT_EVENTUALLY(reports.size() == 103, 5000);
    EXPECT_EQ(reports[100], first);
    EXPECT_EQ(reports[101], second);
    EXPECT_EQ(reports[102].size(), 256); // the declared size is smaller than 256

    grabs.clear();
    ::close(hid[1]);
    ASSERT_EVENTUALLY(removals == 1, 5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(removals, 1);
    stream.reset(); // both go back to the desktop
    EXPECT_EQ(grabs, (std::vector<std::pair<QString, bool>>{{"event7", false}, {"event8", false}}));
}

// "auto" takes every real touch screen, also those that lead with a mouse
// or vendor collection, and never a touchpad or a pen tablet. Each real
// descriptor is one device of a fake tree, under a name that says nothing.
TEST(SysfsHidDeviceSource, AutomaticSelectionTakesEveryRealTouchScreen)
{
    const QJsonArray devices = realdata::devices();
    if (devices.isEmpty())
        GTEST_SKIP() << "real descriptors not available (VELOTAP_SHARED_DATA)";
    QStringList wrong;
    int touchScreens = 0;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        FakeSysfs fake;
        fake.add({.hidraw = QStringLiteral("hidraw0"), .name = QStringLiteral("HID 1234:5678"),
                  .descriptor = realdata::descriptorOf(device), .manufacturer = QStringLiteral("Maker"),
                  .product = QStringLiteral("Model")});
        SysfsHidDeviceSource source({fake.sysfs(), fake.dev(), {}, {}, {}, {}});
        const std::vector<HidDeviceInfo> matched = matchingDevices(source.devices(), QStringLiteral("auto"));
        QString status;
        const bool chosen = chooseDevice(matched, QStringLiteral("auto"), status).index == 0;
        const bool touchScreen = device.value("kind").toString().startsWith(QLatin1String("touchscreen"));
        touchScreens += touchScreen ? 1 : 0;
        if (chosen != touchScreen)
            wrong << QStringLiteral("%1 (%2): %3").arg(device.value("key").toString(), device.value("kind").toString(),
                                                      chosen ? QStringLiteral("chosen") : status);
    }
    EXPECT_EQ(touchScreens, 99);
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join('\n').toStdString();
}
