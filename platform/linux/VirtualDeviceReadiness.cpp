#include "platform/linux/VirtualDeviceReadiness.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

VirtualDeviceReadiness::VirtualDeviceReadiness(Scheduler& scheduler, QStringList sysNames,
                                               std::function<void()> onReady, VirtualDevicePaths paths)
    : m_scheduler(scheduler)
    , m_waiting(std::move(sysNames))
    , m_onReady(std::move(onReady))
    , m_paths(std::move(paths))
    , m_giveUpAt(scheduler.now() + kLongestWait)
{
    m_timer = m_scheduler.schedule(0, [this] { poll(); });
}

VirtualDeviceReadiness::~VirtualDeviceReadiness()
{
    m_scheduler.cancel(m_timer);
}

bool VirtualDeviceReadiness::announced(const QString& sysName) const
{
    if (sysName.isEmpty())
        return false;
    // The event node's device number names its entry in udev's database,
    // written once udev has run its rules and before it tells listeners.
    const QString deviceDir = m_paths.sysfsRoot + QStringLiteral("/devices/virtual/input/") + sysName;
    const QStringList events = QDir(deviceDir).entryList({QStringLiteral("event*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& event : events) {
        QFile dev(deviceDir + QLatin1Char('/') + event + QStringLiteral("/dev"));
        if (!dev.open(QIODevice::ReadOnly))
            continue;
        const QString number = QString::fromLatin1(dev.readLine(32)).trimmed();
        if (!number.isEmpty() && QFileInfo::exists(m_paths.udevDataDir + QStringLiteral("/c") + number))
            return true;
    }
    return false;
}

void VirtualDeviceReadiness::poll()
{
    m_waiting.removeIf([this](const QString& name) { return announced(name); });
    if (m_waiting.isEmpty()) {
        m_timer = m_scheduler.schedule(kOpenGrace, [this] { settle(); });
        return;
    }
    if (m_scheduler.now() >= m_giveUpAt) {
        qInfo().noquote() << "Velotap sends input although udev has not announced its virtual devices";
        settle();
        return;
    }
    m_timer = m_scheduler.schedule(kPollInterval, [this] { poll(); });
}

void VirtualDeviceReadiness::settle()
{
    m_timer = 0;
    m_ready = true;
    if (m_onReady)
        m_onReady();
}
