#pragma once
#include "touch/HidDeviceSource.h"

#include <QByteArray>
#include <QSet>

#include <cerrno>
#include <functional>
#include <memory>
#include <utility>

// HID devices set up by a test: reports, removal and device changes are
// driven by calls instead of a kernel.
class FakeHidDeviceSource final : public HidDeviceSource {
public:
    std::vector<HidDeviceInfo> list;
    QSet<QString> unreadable;            // nodes the user may not read
    OpenFailure nextOpenFailure = OpenFailure::None;
    int nextOpenError = 0;
    OpenOptions lastOpenOptions;
    int openCount = 0;

    std::vector<HidDeviceInfo> devices() const override { return list; }
    bool canRead(const HidDeviceInfo& device) const override { return !unreadable.contains(device.node); }

    std::unique_ptr<HidInputStream> open(const HidDeviceInfo& device, const OpenOptions& options, ReportHandler onReport,
                                         RemovalHandler onRemoval, OpenFailure* failure, int* errorCode) override
    {
        lastOpenOptions = options;
        const OpenFailure refusal = unreadable.contains(device.node) ? OpenFailure::PermissionDenied : nextOpenFailure;
        if (failure)
            *failure = refusal;
        if (errorCode)
            *errorCode = refusal == OpenFailure::PermissionDenied ? EACCES : nextOpenError;
        if (refusal != OpenFailure::None)
            return nullptr;
        ++openCount;
        m_node = device.node;
        m_onReport = std::move(onReport);
        m_onRemoval = std::move(onRemoval);
        return std::make_unique<Stream>(m_open, m_untaken);
    }

    bool isOpen() const { return m_open; }
    QString openNode() const { return m_open ? m_node : QString(); }
    void announceChange() { notifyDevicesChanged(); }
    void deliver(const QByteArray& report)
    {
        if (m_open)
            m_onReport(reinterpret_cast<const std::uint8_t*>(report.constData()), int(report.size()));
    }
    // The open device's kernel input nodes left to the desktop changed.
    void setUntakenInputNodes(std::vector<KernelInputNode> nodes)
    {
        m_untaken = std::move(nodes);
        if (m_open && lastOpenOptions.untakenInputNodesChanged)
            lastOpenOptions.untakenInputNodesChanged();
    }
    // The device is unplugged: it leaves the list and its stream reports removal.
    void unplug()
    {
        std::erase_if(list, [&](const HidDeviceInfo& d) { return d.node == m_node; });
        if (std::exchange(m_open, false) && m_onRemoval)
            m_onRemoval();
    }

private:
    struct Stream final : HidInputStream {
        Stream(bool& flag, const std::vector<KernelInputNode>& untaken) : open(flag), untaken(untaken) { open = true; }
        ~Stream() override { open = false; }
        std::vector<KernelInputNode> untakenInputNodes() const override { return untaken; }
        bool& open;
        const std::vector<KernelInputNode>& untaken;
    };

    bool m_open = false;
    std::vector<KernelInputNode> m_untaken;
    QString m_node;
    ReportHandler m_onReport;
    RemovalHandler m_onRemoval;
};
