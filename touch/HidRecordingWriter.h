#pragma once
#include <QByteArray>
#include <QString>

#include <cstdint>

struct HidDeviceInfo;

// Writes recordings in the hid-recorder text format that HidRecording.h
// reads: a header with the device ("N:", "P:", "I:", "R:") and one "E:" line
// per input report, seconds since the recording started first.
struct HidRecordingHeader {
    QString name;
    QString physicalPath;
    std::uint32_t bus = 0;
    std::uint32_t vendorID = 0;
    std::uint32_t productID = 0;
    QByteArray descriptor;
};

// The header of a recording of this device: its names, physical path, bus,
// IDs and report descriptor.
HidRecordingHeader hidRecordingHeaderFor(const HidDeviceInfo& device);
QByteArray hidRecordingHeaderText(const HidRecordingHeader& header);
QByteArray hidRecordingEventLine(double seconds, const std::uint8_t* report, int length);
