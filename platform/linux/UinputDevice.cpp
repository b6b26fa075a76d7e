#include "platform/linux/UinputDevice.h"

#include "platform/linux/KeyCodeTable.h"

#include <QFile>

#include <cerrno>
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

bool finish(int fd, const char* name, QString* error)
{
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1209;
    setup.id.product = 0x7654;
    setup.id.version = 1;
    std::strncpy(setup.name, name, UINPUT_MAX_NAME_SIZE - 1);
    if (ioctl(fd, UI_DEV_SETUP, &setup) < 0 || ioctl(fd, UI_DEV_CREATE) < 0) {
        if (error)
            *error = QStringLiteral("Cannot create the virtual device: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    return true;
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
    if (!ok) {
        if (error)
            *error = QStringLiteral("Cannot set up the virtual pointer: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    if (!finish(fd, "Velotap pointer", error))
        return nullptr;
    return std::unique_ptr<UinputDevice>(new UinputDevice(fd));
}

std::unique_ptr<UinputDevice> UinputDevice::createKeyboard(const QString& path, QString* error)
{
    const int fd = openUinput(path, error);
    if (fd < 0)
        return nullptr;
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) >= 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) >= 0;
    for (const keycodes::KeyEntry& key : keycodes::keys())
        ok = ok && ioctl(fd, UI_SET_KEYBIT, key.evdevCode) >= 0;
    for (int type : {0, 1})
        ok = ok && ioctl(fd, UI_SET_KEYBIT, *keycodes::mediaEvdevCode(type)) >= 0;
    if (!ok) {
        if (error)
            *error = QStringLiteral("Cannot set up the virtual keyboard: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    if (!finish(fd, "Velotap keyboard", error))
        return nullptr;
    return std::unique_ptr<UinputDevice>(new UinputDevice(fd));
}

UinputDevice::~UinputDevice()
{
    ioctl(m_fd, UI_DEV_DESTROY);
    ::close(m_fd);
}
