#include "app/cli/DeviceListing.h"

#include "app/cli/Output.h"

#include <QJsonArray>

#include <algorithm>
#include <cerrno>

namespace cli {
namespace {

const QString kAuto = QStringLiteral("auto");
const QString kNoAccessAdvice = QStringLiteral(
    "not readable by you: install the udev rule (sudo velotap install-udev-rule, see the README)");

QString nodeLine(const QString& path, bool readable)
{
    return path + (readable ? QString() : QStringLiteral("  (") + kNoAccessAdvice + QLatin1Char(')'));
}

// Whether touch can keep the desktop from acting on a touch a second time.
QString inputNodeLine(const KernelInputNode& input)
{
    QString what;
    switch (input.error) {
    case 0:
        what = QStringLiteral("taken from the desktop while touch runs");
        break;
    case EACCES:
    case EPERM:
        what = QStringLiteral("not readable by you, so touches may act twice: install the udev rule (sudo velotap "
                              "install-udev-rule, see the README)");
        break;
    case EBUSY:
        what = QStringLiteral("held by another program (Velotap itself while its touch runs), so touches may act twice");
        break;
    default:
        what = QStringLiteral("cannot be taken from the desktop (%1), so touches may act twice").arg(qt_error_string(input.error));
    }
    return QStringLiteral("kernel input %1: %2").arg(input.node, what);
}

} // namespace

std::optional<HidDeviceInfo> automaticDeviceChoice(const std::vector<HidDeviceInfo>& devices)
{
    const std::vector<HidDeviceInfo> matched = matchingDevices(devices, kAuto);
    QString status;
    const DeviceChoice choice = chooseDevice(matched, kAuto, status);
    if (choice.index < 0)
        return std::nullopt;
    return matched[std::size_t(choice.index)];
}

DeviceListing::DeviceListing(std::vector<HidDeviceInfo> devices, const std::function<bool(const HidDeviceInfo&)>& canRead,
                             const QString& deviceSelection, const InputNodeProbe& inputNodes)
    : m_all(std::move(devices)), m_catalogue(deviceCatalogue(m_all)), m_automaticChoice(automaticDeviceChoice(m_all)),
      m_selection(normalizedDeviceSelection(deviceSelection))
{
    // One entry per distinct touch candidate, in the order of its first
    // interface: each gets its signature and every interface's node.
    const QVariantList entries = touchDeviceEntries(m_all);
    for (const HidDeviceInfo& device : m_all) {
        const QString signature = deviceSignature(device);
        Node node{device.node, canRead(device), {}};
        if (signature == m_selection)
            m_selectedNodes.push_back(node);
        if (!isTouchCandidate(device))
            continue;
        if (inputNodes)
            node.inputs = inputNodes(device);
        auto it = std::find_if(m_touchDevices.begin(), m_touchDevices.end(),
                               [&](const TouchDevice& d) { return d.signature == signature; });
        if (it == m_touchDevices.end())
            it = m_touchDevices.insert(it, {entries.value(qsizetype(m_touchDevices.size())).toMap(), signature, {}});
        it->nodes.push_back(node);
    }
}

bool DeviceListing::automaticSelection() const
{
    return isAutomaticSelection(m_selection);
}

QString DeviceListing::automaticChoiceText() const
{
    if (!m_automaticChoice)
        return QStringLiteral("\"auto\" would choose: nothing (no connected touch screen gives a touch layout)\n");
    return QStringLiteral("\"auto\" would choose: %1 on %2\n")
        .arg(printable(deviceTitle(*m_automaticChoice)), m_automaticChoice->node);
}

QString DeviceListing::selectionText() const
{
    if (automaticSelection())
        return QStringLiteral("deviceSelection: auto\n");
    QString text = QStringLiteral("deviceSelection: %1\n").arg(printable(m_selection));
    if (m_selectedNodes.empty()) {
        return text + QStringLiteral("    not connected: touch waits for this display; "
                                     "`velotap defaults write deviceSelection auto` takes any touch screen\n");
    }
    QStringList nodes;
    for (const Node& node : m_selectedNodes)
        nodes << nodeLine(node.path, node.readable);
    return text + QStringLiteral("    connected: ") + nodes.join(QStringLiteral(", ")) + QLatin1Char('\n');
}

QString DeviceListing::text() const
{
    if (m_touchDevices.empty() && m_catalogue.empty()) {
        return QString::fromLatin1(m_all.empty() ? "No touch display found: no HID devices are connected.\n"
                                                 : "No touch display found among the connected HID devices.\n")
            + QStringLiteral("Connect the display by USB; it is listed here once the kernel shows it under /sys/class/hidraw.\n")
            + selectionText();
    }
    QString text = QStringLiteral("Touch devices:\n");
    if (m_touchDevices.empty())
        text += QStringLiteral("  none\n");
    for (const TouchDevice& device : m_touchDevices) {
        const QVariantMap& entry = device.entry;
        text += QStringLiteral("  %1:%2  %3 / %4  [%5]")
                    .arg(entry.value(QStringLiteral("vendor_id")).toString(), entry.value(QStringLiteral("product_id")).toString(),
                         printable(entry.value(QStringLiteral("manufacturer_string")).toString()),
                         printable(entry.value(QStringLiteral("product_string")).toString()),
                         printable(entry.value(QStringLiteral("transport")).toString()));
        if (entry.contains(QStringLiteral("max_input_report_size")))
            text += QStringLiteral("  reports up to %1 bytes").arg(entry.value(QStringLiteral("max_input_report_size")).toLongLong());
        text += QLatin1Char('\n');
        for (const Node& node : device.nodes) {
            text += QStringLiteral("      ") + nodeLine(node.path, node.readable) + QLatin1Char('\n');
            for (const KernelInputNode& input : node.inputs)
                text += QStringLiteral("          ") + inputNodeLine(input) + QLatin1Char('\n');
        }
    }
    text += QLatin1Char('\n') + automaticChoiceText() + selectionText();
    text += QStringLiteral("\nDevices that can be selected (deviceSelection):\n");
    if (m_catalogue.empty())
        text += QStringLiteral("  none\n");
    for (const DeviceCatalogueEntry& entry : m_catalogue) {
        text += QStringLiteral("  %1%2\n      %3\n")
                    .arg(printable(entry.title), entry.supported ? QString() : QStringLiteral(" - possible"),
                         printable(entry.signature));
    }
    return text;
}

QJsonArray DeviceListing::nodesJson(const std::vector<Node>& nodes)
{
    QJsonArray array;
    for (const Node& node : nodes) {
        QJsonObject object{{QStringLiteral("node"), node.path}, {QStringLiteral("readable"), node.readable}};
        if (!node.inputs.empty()) {
            QJsonArray inputs;
            for (const KernelInputNode& input : node.inputs) {
                QJsonObject entry{{QStringLiteral("node"), input.node}, {QStringLiteral("can_take"), input.error == 0}};
                if (input.error != 0)
                    entry.insert(QStringLiteral("reason"), qt_error_string(input.error));
                inputs.append(entry);
            }
            object.insert(QStringLiteral("input_nodes"), inputs);
        }
        array.append(object);
    }
    return array;
}

QJsonObject DeviceListing::json() const
{
    QJsonArray touchDevices;
    for (const TouchDevice& device : m_touchDevices) {
        QJsonObject entry = QJsonObject::fromVariantMap(device.entry);
        entry.insert(QStringLiteral("signature"), device.signature);
        entry.insert(QStringLiteral("nodes"), nodesJson(device.nodes));
        touchDevices.append(entry);
    }
    QJsonArray catalogue;
    for (const DeviceCatalogueEntry& entry : m_catalogue)
        catalogue.append(QJsonObject::fromVariantMap(entry.toMap()));
    QJsonValue automatic = QJsonValue::Null;
    if (m_automaticChoice) {
        automatic = QJsonObject{{QStringLiteral("node"), m_automaticChoice->node},
                                {QStringLiteral("signature"), deviceSignature(*m_automaticChoice)},
                                {QStringLiteral("title"), deviceTitle(*m_automaticChoice)}};
    }
    QJsonObject selection{{QStringLiteral("value"), m_selection}};
    if (!automaticSelection()) {
        selection.insert(QStringLiteral("connected"), !m_selectedNodes.empty());
        selection.insert(QStringLiteral("nodes"), nodesJson(m_selectedNodes));
    }
    return {{QStringLiteral("touch_devices"), touchDevices},
            {QStringLiteral("catalogue"), catalogue},
            {QStringLiteral("auto_choice"), automatic},
            {QStringLiteral("device_selection"), selection}};
}

} // namespace cli
