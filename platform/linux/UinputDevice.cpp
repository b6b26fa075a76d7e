#include "platform/linux/UinputDevice.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool declare(int fd, const UinputDeviceLayout& layout)
{
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_SYN) >= 0;
    if (!layout.keys.empty())
        ok = ok && ioctl(fd, UI_SET_EVBIT, EV_KEY) >= 0;
    for (std::uint16_t key : layout.keys)
        ok = ok && ioctl(fd, UI_SET_KEYBIT, int(key)) >= 0;
    if (!layout.relativeAxes.empty())
        ok = ok && ioctl(fd, UI_SET_EVBIT, EV_REL) >= 0;
    for (std::uint16_t axis : layout.relativeAxes)
        ok = ok && ioctl(fd, UI_SET_RELBIT, int(axis)) >= 0;
    if (!layout.absoluteAxes.empty())
        ok = ok && ioctl(fd, UI_SET_EVBIT, EV_ABS) >= 0;
    for (const UinputDeviceLayout::AbsoluteAxis& axis : layout.absoluteAxes) {
        uinput_abs_setup abs{};
        abs.code = axis.code;
        abs.absinfo.minimum = 0;
        abs.absinfo.maximum = axis.maximum;
        ok = ok && ioctl(fd, UI_SET_ABSBIT, int(axis.code)) >= 0 && ioctl(fd, UI_ABS_SETUP, &abs) >= 0;
    }
    return ok;
}

QString sysNameOf(int fd)
{
    char name[64] = {};
    if (ioctl(fd, UI_GET_SYSNAME(sizeof name - 1), name) < 0)
        return {};
    return QString::fromLatin1(name);
}

} // namespace

QString UinputDevice::nameOf(const UinputDeviceLayout& layout)
{
    return QStringLiteral("Velotap ") + QLatin1String(layout.name);
}

std::unique_ptr<UinputDevice> UinputDevice::create(const QString& path, const UinputDeviceLayout& layout,
                                                   QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    const char* failure = "Cannot set up the virtual %1: %2";
    if (declare(fd, layout)) {
        uinput_setup setup{};
        setup.id.bustype = kBusType;
        setup.id.vendor = kVendor;
        setup.id.product = kProduct;
        setup.id.version = 1;
        std::snprintf(setup.name, UINPUT_MAX_NAME_SIZE, "%s", nameOf(layout).toLatin1().constData());
        if (ioctl(fd, UI_DEV_SETUP, &setup) >= 0 && ioctl(fd, UI_DEV_CREATE) >= 0)
            return std::unique_ptr<UinputDevice>(new UinputDevice(fd, sysNameOf(fd)));
        failure = "Cannot create the virtual %1: %2";
    }
    const int cause = errno;
    if (error)
        *error = QString::fromLatin1(failure).arg(QLatin1String(layout.name),
                                                  QString::fromLocal8Bit(std::strerror(cause)));
    ::close(fd);
    return nullptr;
}

UinputDevice::~UinputDevice()
{
    ioctl(m_fd, UI_DEV_DESTROY);
    ::close(m_fd);
}
