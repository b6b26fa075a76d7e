#include "platform/linux/SysfsHidDeviceSource.h"

#include "platform/linux/HidDescriptorFacts.h"
#include "platform/linux/UdevMonitor.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The kernel never hands out more than this in one hidraw read.
constexpr int kMaxReportBytes = 16384;
constexpr int kMinReportBuffer = 256;

QByteArray readSmallFile(const QString& path, qint64 limit = 64 * 1024)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(limit);
}

QString readLine(const QString& path)
{
    return QString::fromUtf8(readSmallFile(path, 4096)).trimmed();
}

QMap<QString, QString> readUevent(const QString& path)
{
    QMap<QString, QString> values;
    const QList<QByteArray> lines = readSmallFile(path).split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
    }
    return values;
}

QString transportName(uint bus)
{
    switch (bus) {
    case 0x03: return QStringLiteral("USB");
    case 0x05: return QStringLiteral("Bluetooth");
    case 0x06: return QStringLiteral("Virtual");
    case 0x18: return QStringLiteral("I2C");
    case 0x1C: return QStringLiteral("SPI");
    default: return {};
    }
}

// 32-bit FNV-1a, kept positive so the location never reads as "unknown".
qint64 stableHash(const QByteArray& text)
{
    std::uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= std::uint8_t(c);
        hash *= 16777619u;
    }
    return qint64(hash & 0x7FFFFFFFu);
}

// Like a USB location ID elsewhere: the bus in the top byte, then one nibble
// per hub port from the root, so the same display on another port differs.
// Only 31 bits survive as a positive number: a bus above 127, a port above
// 15 or more than six levels of hubs do not fit, and would make two displays
// look alike. Those get bus 0 (no USB bus has that number) and a hash of the
// whole path.
qint64 usbLocationID(int busNumber, const QString& devpath)
{
    const QStringList ports = devpath.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    bool fits = busNumber >= 1 && busNumber <= 0x7F && ports.size() <= 6;
    std::uint32_t location = std::uint32_t(busNumber) << 24;
    int shift = 20;
    for (const QString& text : ports) {
        bool ok = false;
        const uint port = text.toUInt(&ok);
        fits = fits && ok && port <= 0xF;
        if (!fits)
            break;
        location |= std::uint32_t(port) << shift;
        shift -= 4;
    }
    if (fits)
        return qint64(location);
    return stableHash(QStringLiteral("usb%1-%2").arg(busNumber).arg(devpath).toUtf8()) & 0x00FFFFFF;
}

int hidrawNumber(const QString& name)
{
    return name.mid(6).toInt();
}

int defaultOpen(const QByteArray& path, int flags)
{
    return ::open(path.constData(), flags);
}

int defaultGrab(int fd, bool grab)
{
    return ::ioctl(fd, EVIOCGRAB, grab ? 1 : 0);
}

bool defaultReadable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

// Opens an evdev node and takes it from the desktop: the open descriptor, or
// -1 with the system's error number in *error.
int takeInputNode(const SysfsHidDeviceSource::Options& options, const QByteArray& path, int* error)
{
    const int fd = options.openNode(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    if (options.grabInputNode(fd, true) != 0) {
        *error = errno;
        ::close(fd);
        return -1;
    }
    *error = 0;
    return fd;
}

// The kernel's input nodes of an open device, each taken from the desktop
// or not yet. A node refused for want of access (udev may grant it a moment
// after the raw node) is tried again when its access changes, and every
// untaken one (another program may hold it) every so many reports.
class InputNodeGrabs {
public:
    static constexpr int kReportsBetweenRetries = 100;

    InputNodeGrabs(SysfsHidDeviceSource::Options options, const QStringList& nodes, std::function<void()> changed)
        : m_options(std::move(options)), m_changed(std::move(changed))
    {
        for (const QString& node : nodes) {
            Grab grab{QFile::encodeName(node), node};
            grab.fd = takeInputNode(m_options, grab.path, &grab.error);
            if (grab.fd < 0) {
                qWarning().noquote() << QStringLiteral("Velotap could not take %1 from the desktop (%2); touches may "
                                                       "act twice until it can").arg(node, qt_error_string(grab.error));
                watch(node);
            }
            m_grabs.push_back(std::move(grab));
        }
    }

    ~InputNodeGrabs() { release(); }

    std::vector<KernelInputNode> untaken() const
    {
        std::vector<KernelInputNode> nodes;
        for (const Grab& grab : m_grabs) {
            if (grab.fd < 0)
                nodes.push_back({grab.node, grab.error});
        }
        return nodes;
    }

    // Called for every report; cheap unless a retry is due.
    void reportArrived()
    {
        if (untakenCount() == 0 || ++m_reportsSinceRetry < kReportsBetweenRetries)
            return;
        m_reportsSinceRetry = 0;
        retry();
    }

    void release()
    {
        for (Grab& grab : m_grabs) {
            if (grab.fd >= 0) {
                m_options.grabInputNode(grab.fd, false);
                ::close(grab.fd);
                grab.fd = -1;
            }
        }
        m_grabs.clear();
        m_watcher.reset();
    }

private:
    struct Grab {
        QByteArray path;
        QString node;
        int fd = -1;
        int error = 0;
    };
    SysfsHidDeviceSource::Options m_options;
    std::function<void()> m_changed;
    std::vector<Grab> m_grabs;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    int m_reportsSinceRetry = 0;

    std::size_t untakenCount() const
    {
        return std::size_t(std::count_if(m_grabs.begin(), m_grabs.end(), [](const Grab& g) { return g.fd < 0; }));
    }

    void watch(const QString& node)
    {
        if (!m_watcher) {
            // A change of mode, owner or access list reaches a watched file as an attribute change.
            m_watcher = std::make_unique<QFileSystemWatcher>();
            QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, m_watcher.get(), [this] { retry(); });
        }
        m_watcher->addPath(node);
    }

    void retry()
    {
        bool changed = false;
        for (Grab& grab : m_grabs) {
            if (grab.fd >= 0)
                continue;
            const int before = grab.error;
            grab.fd = takeInputNode(m_options, grab.path, &grab.error);
            if (grab.fd >= 0) {
                qInfo().noquote() << "Velotap took" << grab.node << "from the desktop";
                if (m_watcher)
                    m_watcher->removePath(grab.node);
            }
            changed = changed || grab.fd >= 0 || grab.error != before;
        }
        if (changed && m_changed)
            m_changed();
    }
};

class SysfsHidInputStream final : public HidInputStream {
public:
    SysfsHidInputStream(int fd, int bufferSize, HidDeviceSource::ReportHandler onReport,
                        HidDeviceSource::RemovalHandler onRemoval, std::unique_ptr<InputNodeGrabs> grabs)
        : m_fd(fd), m_buffer(std::size_t(bufferSize)), m_onReport(std::move(onReport)),
          m_onRemoval(std::move(onRemoval)), m_grabs(std::move(grabs)), m_notifier(fd, QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { readAvailable(); });
    }

    ~SysfsHidInputStream() override
    {
        closeAll();
    }

    std::vector<KernelInputNode> untakenInputNodes() const override
    {
        return m_grabs ? m_grabs->untaken() : std::vector<KernelInputNode>{};
    }

private:
    int m_fd;
    std::vector<std::uint8_t> m_buffer;
    HidDeviceSource::ReportHandler m_onReport;
    HidDeviceSource::RemovalHandler m_onRemoval;
    std::unique_ptr<InputNodeGrabs> m_grabs;
    QSocketNotifier m_notifier;

    void readAvailable()
    {
        // One report per wake-up: at display rates the next one is not there
        // yet, so asking again would only cost a system call; under a flood
        // the notifier fires again at once, with timers running in between.
        ssize_t n;
        do
            n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            // Before the handler, which may destroy this stream.
            if (m_grabs)
                m_grabs->reportArrived();
            m_onReport(m_buffer.data(), int(n));
            return;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // End of file or a read error: the device is gone. The handler
        // usually destroys this stream, so it runs from a local copy.
        closeAll();
        const HidDeviceSource::RemovalHandler onRemoval = std::exchange(m_onRemoval, {});
        if (onRemoval)
            onRemoval();
    }

    void closeAll()
    {
        m_notifier.setEnabled(false);
        if (m_grabs)
            m_grabs->release();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
};

} // namespace

SysfsHidDeviceSource::SysfsHidDeviceSource() : SysfsHidDeviceSource(Options{}) {}

SysfsHidDeviceSource::SysfsHidDeviceSource(Options options) : m_options(std::move(options))
{
    if (!m_options.openNode)
        m_options.openNode = defaultOpen;
    if (!m_options.grabInputNode)
        m_options.grabInputNode = defaultGrab;
    if (!m_options.isReadable)
        m_options.isReadable = defaultReadable;
}

SysfsHidDeviceSource::~SysfsHidDeviceSource() = default;

std::vector<HidDeviceInfo> SysfsHidDeviceSource::devices() const
{
    QDir dir(m_options.sysfsRoot + QStringLiteral("/class/hidraw"));
    QStringList names = dir.entryList({QStringLiteral("hidraw*")}, QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return hidrawNumber(a) < hidrawNumber(b); });
    std::vector<HidDeviceInfo> result;
    for (const QString& name : names)
        result.push_back(deviceInfo(name));
    return result;
}

HidDeviceInfo SysfsHidDeviceSource::deviceInfo(const QString& hidrawName) const
{
    HidDeviceInfo info;
    info.node = m_options.devRoot + QLatin1Char('/') + hidrawName;
    const QString deviceDir = m_options.sysfsRoot + QStringLiteral("/class/hidraw/") + hidrawName + QStringLiteral("/device");
    QVariantMap& p = info.properties;

    const auto uevent = readUevent(deviceDir + QStringLiteral("/uevent"));
    // HID_ID=bus:vendor:product, each hexadecimal.
    const QStringList id = uevent.value(QStringLiteral("HID_ID")).split(QLatin1Char(':'));
    uint bus = 0;
    if (id.size() == 3) {
        bool okBus = false, okVendor = false, okProduct = false;
        bus = id[0].toUInt(&okBus, 16);
        const uint vendor = id[1].toUInt(&okVendor, 16);
        const uint product = id[2].toUInt(&okProduct, 16);
        if (okVendor)
            p.insert(HidProperty::VendorID, qint64(vendor));
        if (okProduct)
            p.insert(HidProperty::ProductID, qint64(product));
        if (!okBus)
            bus = 0;
    }
    const QString transport = transportName(bus);
    if (!transport.isEmpty())
        p.insert(HidProperty::Transport, transport);

    const QString hidName = uevent.value(QStringLiteral("HID_NAME"));
    const QString phys = uevent.value(QStringLiteral("HID_PHYS"));
    const QString uniq = uevent.value(QStringLiteral("HID_UNIQ"));
    if (!phys.isEmpty())
        p.insert(HidProperty::PhysicalPath, phys);

    // The USB device above the interface knows its bus, port path and strings.
    QString usbDir;
    QString path = QFileInfo(deviceDir).canonicalFilePath();
    for (int up = 0; up < 4 && !path.isEmpty(); ++up) {
        path = QFileInfo(path).path();
        if (QFileInfo::exists(path + QStringLiteral("/busnum")) && QFileInfo::exists(path + QStringLiteral("/devpath"))) {
            usbDir = path;
            break;
        }
    }

    QString manufacturer, product, serial;
    if (!usbDir.isEmpty()) {
        manufacturer = readLine(usbDir + QStringLiteral("/manufacturer"));
        product = readLine(usbDir + QStringLiteral("/product"));
        serial = readLine(usbDir + QStringLiteral("/serial"));
        p.insert(HidProperty::LocationID, usbLocationID(readLine(usbDir + QStringLiteral("/busnum")).toInt(),
                                                        readLine(usbDir + QStringLiteral("/devpath"))));
    } else {
        // Without USB the physical path names the port; the interface suffix is dropped
        // so every interface of one device shares the location.
        QString place = phys;
        const qsizetype slash = place.lastIndexOf(QLatin1Char('/'));
        if (slash > 0)
            place.truncate(slash);
        if (place.isEmpty())
            place = QFileInfo(QFileInfo(deviceDir).canonicalFilePath()).path();
        if (!place.isEmpty())
            p.insert(HidProperty::LocationID, stableHash(place.toUtf8()));
    }
    if (product.isEmpty()) {
        product = hidName;
        // The kernel's name is "manufacturer product" when both are known.
        if (!manufacturer.isEmpty() && product.startsWith(manufacturer + QLatin1Char(' ')))
            product = product.mid(manufacturer.size() + 1);
    }
    if (serial.isEmpty())
        serial = uniq;
    if (!manufacturer.isEmpty())
        p.insert(HidProperty::Manufacturer, manufacturer);
    if (!product.isEmpty())
        p.insert(HidProperty::Product, product);
    if (!serial.isEmpty())
        p.insert(HidProperty::SerialNumber, serial);

    const QByteArray descriptor = readSmallFile(deviceDir + QStringLiteral("/report_descriptor"), 4096 * 4);
    if (!descriptor.isEmpty()) {
        p.insert(HidProperty::ReportDescriptor, descriptor);
        const HidDescriptorFacts facts = hidDescriptorFacts(descriptor);
        if (facts.primaryUsagePage >= 0)
            p.insert(HidProperty::PrimaryUsagePage, qint64(facts.primaryUsagePage));
        if (facts.primaryUsage >= 0)
            p.insert(HidProperty::PrimaryUsage, qint64(facts.primaryUsage));
        if (facts.maxInputReportSize > 0)
            p.insert(HidProperty::MaxInputReportSize, qint64(facts.maxInputReportSize));
        QVariantList pairs;
        for (const auto& [page, usage] : facts.topLevelUsages)
            pairs << QVariantMap{{HidProperty::DeviceUsagePage, qint64(page)}, {HidProperty::DeviceUsage, qint64(usage)}};
        if (!pairs.isEmpty())
            p.insert(HidProperty::DeviceUsagePairs, pairs);
    }
    return info;
}

bool SysfsHidDeviceSource::canRead(const HidDeviceInfo& device) const
{
    const bool readable = m_options.isReadable(device.node);
    if (!readable)
        watchUntilReadable(device.node);
    return readable;
}

QStringList SysfsHidDeviceSource::inputNodesOf(const QString& hidrawNode) const
{
    const QString name = QFileInfo(hidrawNode).fileName();
    const QString inputDir = m_options.sysfsRoot + QStringLiteral("/class/hidraw/") + name + QStringLiteral("/device/input");
    QStringList nodes;
    const QStringList inputs = QDir(inputDir).entryList({QStringLiteral("input*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& input : inputs) {
        const QStringList events = QDir(inputDir + QLatin1Char('/') + input)
                                       .entryList({QStringLiteral("event*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& event : events)
            nodes << m_options.devRoot + QStringLiteral("/input/") + event;
    }
    return nodes;
}

std::unique_ptr<HidInputStream> SysfsHidDeviceSource::open(const HidDeviceInfo& device, const OpenOptions& options,
                                                           ReportHandler onReport, RemovalHandler onRemoval,
                                                           OpenFailure* failure, int* errorCode)
{
    const int fd = m_options.openNode(QFile::encodeName(device.node), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            watchUntilReadable(device.node);
        if (errorCode)
            *errorCode = error;
        if (failure) {
            if (error == EACCES || error == EPERM)
                *failure = OpenFailure::PermissionDenied;
            else if (error == ENOENT || error == ENODEV || error == ENXIO)
                *failure = OpenFailure::NotFound;
            else
                *failure = OpenFailure::Other;
        }
        return nullptr;
    }
    if (failure)
        *failure = OpenFailure::None;

    std::unique_ptr<InputNodeGrabs> grabs;
    if (options.grabKernelInput)
        grabs = std::make_unique<InputNodeGrabs>(m_options, inputNodesOf(device.node), options.untakenInputNodesChanged);

    const qint64 declared = device.properties.value(HidProperty::MaxInputReportSize).toLongLong();
    const int bufferSize = int(std::clamp<qint64>(declared, kMinReportBuffer, kMaxReportBytes));
    return std::make_unique<SysfsHidInputStream>(fd, bufferSize, std::move(onReport), std::move(onRemoval),
                                                 std::move(grabs));
}

std::vector<KernelInputNode> SysfsHidDeviceSource::probeInputNodes(const QString& hidrawNode) const
{
    std::vector<KernelInputNode> nodes;
    for (const QString& node : inputNodesOf(hidrawNode)) {
        KernelInputNode probe{node, 0};
        const int fd = takeInputNode(m_options, QFile::encodeName(node), &probe.error);
        if (fd >= 0) {
            m_options.grabInputNode(fd, false);
            ::close(fd);
        }
        nodes.push_back(probe);
    }
    return nodes;
}

void SysfsHidDeviceSource::watchDevices()
{
    // A change of mode, owner or access list reaches a watched file as an attribute change.
    m_accessWatcher = new QFileSystemWatcher(this);
    connect(m_accessWatcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
        if (!m_options.isReadable(path))
            return;
        m_accessWatcher->removePath(path);
        notifyDevicesChanged();
    });

    m_hotplug = m_options.hotplugEvents ? m_options.hotplugEvents() : UdevMonitor::open("hidraw");
    if (m_hotplug) {
        auto* notifier = new QSocketNotifier(m_hotplug->fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            m_hotplug->drain();
            notifyDevicesChanged();
        });
        return;
    }
    qInfo("Velotap cannot listen to udev; it watches %s for touch displays instead", qPrintable(m_options.devRoot));
    // Without udev the device nodes still come and go with the devices.
    auto* directoryWatcher = new QFileSystemWatcher(this);
    directoryWatcher->addPath(m_options.devRoot);
    connect(directoryWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { notifyDevicesChanged(); });
}

void SysfsHidDeviceSource::watchUntilReadable(const QString& node) const
{
    // Only while someone listens for changes.
    if (m_accessWatcher && !m_accessWatcher->files().contains(node))
        m_accessWatcher->addPath(node);
}
