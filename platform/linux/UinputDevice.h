#pragma once
#include <QRect>
#include <QString>

#include <memory>

// One virtual input device created through /dev/uinput. Only the device
// setup lives here; what is written to it is the sink's business.
class UinputDevice {
public:
    // An absolute pointer spanning the desktop (root pixels), three buttons
    // and high-resolution vertical and horizontal wheels.
    static std::unique_ptr<UinputDevice> createPointer(const QString& path, QRect desktop, QString* error);
    // Every key of the virtual key table, media keys included.
    static std::unique_ptr<UinputDevice> createKeyboard(const QString& path, QString* error);
    ~UinputDevice();
    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    int fd() const { return m_fd; }

private:
    explicit UinputDevice(int fd) : m_fd(fd) {}
    int m_fd;
};
