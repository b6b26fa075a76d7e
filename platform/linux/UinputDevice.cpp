#include "platform/linux/UinputDevice.h"

#include "platform/linux/KeyCodeTable.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int openUinput(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && error)
        *error = QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

// Creates the device once its capabilities are set (ok); closes fd on failure.
bool finish(int fd, bool ok, const char* what, QString* error)
{
    const char* failure = "Cannot set up the virtual %1: %2";
    if (ok) {
        uinput_setup setup{};
        setup.id.bustype = BUS_VIRTUAL;
        setup.id.vendor = 0x1209;
        setup.id.product = 0x7654;
        setup.id.version = 1;
        std::snprintf(setup.name, UINPUT_MAX_NAME_SIZE, "Velotap %s", what);
        if (ioctl(fd, UI_DEV_SETUP, &setup) >= 0 && ioctl(fd, UI_DEV_CREATE) >= 0)
            return true;
        failure = "Cannot create the virtual %1: %2";
    }
    const int cause = errno;
    if (error)
        *error = QString::fromLatin1(failure).arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(cause)));
    ::close(fd);
    return false;
}

bool setAbsAxis(int fd, unsigned code, int maximum)
{
    uinput_abs_setup abs{};
    abs.code = static_cast<__u16>(code);
    abs.absinfo.minimum = 0;
    abs.absinfo.maximum = maximum;
    return ioctl(fd, UI_SET_ABSBIT, code) >= 0 && ioctl(fd, UI_ABS_SETUP, &abs) >= 0;
}

} // namespace

std::unique_ptr<UinputDevice> UinputDevice::createPointer(const QString& path, QRect desktop, QString* error)
{
    const int fd = openUinput(path, error);
    if (fd < 0)
        return nullptr;
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) >= 0 && ioctl(fd, UI_SET_EVBIT, EV_REL) >= 0
        && ioctl(fd, UI_SET_EVBIT, EV_ABS) >= 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) >= 0;
    for (int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
        ok = ok && ioctl(fd, UI_SET_KEYBIT, button) >= 0;
    for (int axis : {REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES})
        ok = ok && ioctl(fd, UI_SET_RELBIT, axis) >= 0;
    ok = ok && setAbsAxis(fd, ABS_X, std::max(desktop.width() - 1, 1))
        && setAbsAxis(fd, ABS_Y, std::max(desktop.height() - 1, 1));
    return finish(fd, ok, "pointer", error) ? std::unique_ptr<UinputDevice>(new UinputDevice(fd)) : nullptr;
}

std::unique_ptr<UinputDevice> UinputDevice::createKeyboard(const QString& path, QString* error)
{
    const int fd = openUinput(path, error);
    if (fd < 0)
        return nullptr;
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) >= 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) >= 0;
    for (const keycodes::KeyEntry& key : keycodes::keys())
        ok = ok && ioctl(fd, UI_SET_KEYBIT, key.evdevCode) >= 0;
    return finish(fd, ok, "keyboard", error) ? std::unique_ptr<UinputDevice>(new UinputDevice(fd)) : nullptr;
}

UinputDevice::~UinputDevice()
{
    ioctl(m_fd, UI_DEV_DESTROY);
    ::close(m_fd);
}
