#pragma once
#include "touch/HidDeviceSource.h"
#include "touch/TouchTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <vector>

// Finding the touch display among the HID devices: property readers, the
// device signature stored by "deviceSelection", the candidate rule, matching,
// the choice of the device touch uses, and the lists the settings window and
// the compatibility check show. Pure functions over device property maps.

// A number property as a signed 32-bit value (so 0x80000000 and above read as
// negative); -1 when absent or not a number.
std::int64_t numberProperty(const HidDeviceInfo& device, const QString& key);
std::optional<QString> stringProperty(const HidDeviceInfo& device, const QString& key);
// The string, or "-" when absent or empty.
QString stringPropertyOrDash(const HidDeviceInfo& device, const QString& key);
// "unknown" for a negative value, else "0x" and at least `digits` lower-case hex digits.
QString hexPropertyText(std::int64_t value, int digits);
QByteArray reportDescriptorData(const HidDeviceInfo& device);

// "vendor:product:location:manufacturer:product:serial", see deviceSignature.
QString deviceSignature(const HidDeviceInfo& device);
bool isTouchCandidate(const HidDeviceInfo& device);

// What touch start matches devices by: the Digitizer Touch Screen usage, or
// the vendor and product of a stored signature.
struct DeviceMatching {
    bool byVendorAndProduct = false;
    std::uint32_t vendorID = 0;
    std::uint32_t productID = 0;

    static DeviceMatching forSelection(const QString& deviceSelection);
    bool matches(const HidDeviceInfo& device) const;
};

// An absent or empty selection counts as "auto".
QString normalizedDeviceSelection(const QString& deviceSelection);
bool isAutomaticSelection(const QString& deviceSelection);
std::vector<HidDeviceInfo> matchingDevices(const std::vector<HidDeviceInfo>& devices, const QString& deviceSelection);

struct DeviceChoice {
    int index = -1; // into the examined devices; -1 when none was chosen
    TouchLayout layout{};
};

// Picks the first considered device whose descriptor gives a valid layout.
// decoderStatus is left at the last failure (untouched when none was considered).
DeviceChoice chooseDevice(const std::vector<HidDeviceInfo>& devices, const QString& deviceSelection,
                          QString& decoderStatus);

// "Product (0xvvvv:0xpppp)", the product falling back to the manufacturer
// and then to "HID touch device".
QString deviceTitle(const HidDeviceInfo& device);

struct DeviceCatalogueEntry {
    QString signature;
    QString title;
    bool supported = false;

    QVariantMap toMap() const; // "signature", "title", "supported"
};

// One entry per distinct signature among supported devices and touch
// candidates; supported first, then by title without regard to case.
std::vector<DeviceCatalogueEntry> deviceCatalogue(const std::vector<HidDeviceInfo>& devices);

// One entry per distinct touch candidate, in the platform's order: "vendor_id",
// "product_id", "product_string", "manufacturer_string", "transport" and,
// when known, "max_input_report_size".
QVariantList touchDeviceEntries(const std::vector<HidDeviceInfo>& devices);
