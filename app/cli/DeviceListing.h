#pragma once
#include "touch/DeviceDiscovery.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace cli {

// The device touch would choose with "auto" among these; none when no touch
// screen gives a touch layout.
std::optional<HidDeviceInfo> automaticDeviceChoice(const std::vector<HidDeviceInfo>& devices);

// What `velotap devices` tells: the touch devices with their nodes, whether
// each can be read and whether the kernel input nodes made from it can be
// taken from the desktop, the device "auto" would choose, whether the stored
// selection is connected, and the devices that can be selected.
class DeviceListing {
public:
    using InputNodeProbe = std::function<std::vector<KernelInputNode>(const HidDeviceInfo&)>;

    // inputNodes is asked about touch devices only.
    DeviceListing(std::vector<HidDeviceInfo> devices, const std::function<bool(const HidDeviceInfo&)>& canRead,
                  const QString& deviceSelection, const InputNodeProbe& inputNodes = {});

    QString text() const;
    QJsonObject json() const;

private:
    struct Node {
        QString path;
        bool readable = false;
        std::vector<KernelInputNode> inputs;
    };
    struct TouchDevice {
        QVariantMap entry; // the touch device entry
        QString signature;
        std::vector<Node> nodes;
    };

    std::vector<HidDeviceInfo> m_all;
    std::vector<TouchDevice> m_touchDevices;
    std::vector<DeviceCatalogueEntry> m_catalogue;
    std::optional<HidDeviceInfo> m_automaticChoice;
    QString m_selection;
    std::vector<Node> m_selectedNodes; // the stored selection's, when connected

    bool automaticSelection() const;
    QString automaticChoiceText() const;
    QString selectionText() const;
    static QJsonArray nodesJson(const std::vector<Node>& nodes);
};

} // namespace cli
