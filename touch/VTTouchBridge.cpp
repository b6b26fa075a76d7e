#include "touch/VTTouchBridge.h"

#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "gestures/VTGestureEngine.h"
#include "settings/SettingsStore.h"
#include "touch/ContactDictionaries.h"
#include "touch/DebugText.h"
#include "touch/DescriptorSummary.h"
#include "touch/DeviceDiscovery.h"

#include <QDebug>

#include <algorithm>

namespace {

// Settles a burst of hotplug events (one display brings several interfaces).
constexpr double kRestartDelay = 0.5;

QString& descriptorHexStorage()
{
    static QString hex;
    return hex;
}

QVariantMap& descriptorSummaryStorage()
{
    static QVariantMap summary;
    return summary;
}

} // namespace

const QString VTTouchBridge::GrabKernelInputKey = SettingsKey::GrabKernelTouchInput;

const QString& lastDescriptorHex()
{
    return descriptorHexStorage();
}

const QVariantMap& lastDescriptorSummary()
{
    return descriptorSummaryStorage();
}

VTTouchBridge::VTTouchBridge(const Environment& environment)
    : m_env(environment),
      m_engine(std::make_unique<VTGestureEngine>(m_env.sink, m_env.scheduler, m_env.settings, m_env.displays,
                                                 m_env.notifications, m_env.doubleClickInterval)),
      _statusText(QStringLiteral("Stopped")), _hidDecoderStatus(QStringLiteral("No descriptor decoder"))
{
    m_engine->setNotificationSender(this);
    m_devicesObserver = m_env.devices.addDevicesChangedObserver([this] { devicesChanged(); });
}

VTTouchBridge::~VTTouchBridge()
{
    m_env.devices.removeDevicesChangedObserver(m_devicesObserver);
    m_env.scheduler.cancel(m_restartTimer);
    m_env.scheduler.cancel(m_frameTimer);
    // Nothing may stay pressed when the bridge goes away.
    if (running())
        closeDevice();
}

bool VTTouchBridge::compatibilityTestMode() const
{
    return m_engine->compatibilityTestMode();
}

void VTTouchBridge::setCompatibilityTestMode(bool mode)
{
    m_engine->setCompatibilityTestMode(mode);
}

bool VTTouchBridge::fail(VTError* error, qint64 code, const QString& description, const QString& status)
{
    if (error)
        *error = VTError::velotap(code, description);
    _statusText = status;
    return false;
}

bool VTTouchBridge::failWaitingForDevice(VTError* error, qint64 code, const QString& description)
{
    m_waitingForDevice = true;
    return fail(error, code, description, QStringLiteral("Device not found"));
}

bool VTTouchBridge::start(VTError* error)
{
    if (running())
        return true;
    m_engine->updateDisplayBounds();

    const bool canPost = !m_env.canPostEvents || m_env.canPostEvents();
    const QString selection = normalizedDeviceSelection(m_env.settings.deviceSelection());
    const bool automatic = isAutomaticSelection(selection);
    const std::vector<HidDeviceInfo> matched = matchingDevices(m_env.devices.devices(), selection);
    // Reading reports needs read access to the device node; with nothing to
    // read there is nothing to ask for yet.
    const bool canListen = matched.empty()
        || std::any_of(matched.begin(), matched.end(), [&](const HidDeviceInfo& d) { return m_env.devices.canRead(d); });
    if (!canPost || !canListen) {
        QStringList missing;
        if (!canPost)
            missing << QStringLiteral("Accessibility");
        if (!canListen)
            missing << QStringLiteral("Input Monitoring");
        return fail(error, 10, QStringLiteral("Missing permission: %1").arg(missing.join(QStringLiteral(", "))),
                    QStringLiteral("Needs permission"));
    }

    const QString notFound = automatic ? QStringLiteral("Compatible HID touch device was not found.")
                                       : QStringLiteral("Selected touch device was not found.");
    // A display plugged in later, or after the program started at login,
    // starts touch when it arrives.
    if (matched.empty())
        return failWaitingForDevice(error, 3, notFound);

    clearDeviceState();
    _hidDecoderStatus = QStringLiteral("Descriptor decoder unavailable");
    const DeviceChoice choice = chooseDevice(matched, selection, _hidDecoderStatus);
    if (choice.index < 0) {
        return failWaitingForDevice(error, 4,
                                    automatic ? QStringLiteral("No compatible HID touch descriptor was found.")
                                              : QStringLiteral("Selected touch device was not found or could not be parsed."));
    }
    const HidDeviceInfo& chosen = matched[std::size_t(choice.index)];

    HidDeviceSource::OpenOptions options;
    const QJsonValue grab = m_env.settings.defaults().value(GrabKernelInputKey);
    options.grabKernelInput = grab.isUndefined() || grab.isNull() || UserDefaults::toBool(grab);
    options.untakenInputNodesChanged = [this] { showActiveStatus(); };
    HidDeviceSource::OpenFailure failure = HidDeviceSource::OpenFailure::None;
    int errorNumber = 0;
    std::unique_ptr<HidInputStream> stream = m_env.devices.open(
        chosen, options, [this](const std::uint8_t* report, int length) { handleReport(report, length); },
        [this] { handleDeviceRemoved(); }, &failure, &errorNumber);
    if (!stream) {
        switch (failure) {
        case HidDeviceSource::OpenFailure::PermissionDenied:
            return fail(error, 10, QStringLiteral("Missing permission: Input Monitoring"), QStringLiteral("Needs permission"));
        case HidDeviceSource::OpenFailure::NotFound:
            return failWaitingForDevice(error, 3, notFound);
        default:
            // A busy or failing device, or no descriptors left: no permission would help.
            qWarning().noquote() << "Velotap could not open" << chosen.node << ":" << qt_error_string(errorNumber);
            return fail(error, qint64(std::int32_t(errorNumber)),
                        QStringLiteral("Could not open HID touch input: 0x%1 (%2)")
                            .arg(std::uint32_t(errorNumber), 0, 16)
                            .arg(qt_error_string(errorNumber)),
                        QStringLiteral("Could not open device"));
        }
    }

    const QByteArray descriptor = reportDescriptorData(chosen);
    descriptorHexStorage() = QString::fromLatin1(descriptor.toHex());
    m_decoder.setLayout(choice.layout);
    m_assembler.setLayout(choice.layout);
    descriptorSummaryStorage() = descriptorSummary(choice.layout);
    _hidDecoderStatus = decoderStatusText(choice.layout);
    m_device = chosen;
    m_stream = std::move(stream);
    stopWaitingForDevice();
    showActiveStatus();
    return true;
}

void VTTouchBridge::showActiveStatus()
{
    if (!running())
        return;
    // The desktop still reads touches from a kernel node it was not taken from.
    _statusText = m_stream->untakenInputNodes().empty() ? QStringLiteral("Touch active")
                                                        : QStringLiteral("Touch active, touches may act twice");
}

void VTTouchBridge::stop()
{
    closeDevice();
    stopWaitingForDevice();
    _statusText = QStringLiteral("Stopped");
}

void VTTouchBridge::closeDevice()
{
    m_engine->stop();
    m_stream.reset();
    clearDeviceState();
    _hidDecoderStatus = QStringLiteral("No descriptor decoder");
}

void VTTouchBridge::stopWaitingForDevice()
{
    m_waitingForDevice = false;
    m_env.scheduler.cancel(m_restartTimer);
    m_restartTimer = 0;
}

void VTTouchBridge::clearDeviceState()
{
    m_decoder.setLayout(TouchLayout{});
    m_assembler.setLayout(TouchLayout{});
    m_lastFrame = TouchContactList{};
    m_env.scheduler.cancel(m_frameTimer);
    m_frameTimer = 0;
    m_device = HidDeviceInfo{};
    descriptorHexStorage().clear();
    descriptorSummaryStorage().clear();
}

void VTTouchBridge::refreshDisplayMapping()
{
    m_engine->refreshDisplayMapping();
    if (running())
        _statusText = QStringLiteral("Display updated");
}

void VTTouchBridge::handleReport(const std::uint8_t* report, int length)
{
    const std::size_t size = std::size_t(std::max(length, 0));
    const bool wasRunning = running();
    const TouchContactList list = m_decoder.contactsFromReport(report, size);
    postDebugReport(report, length, list);
    postCompatibilityReport(report, length, list);
    // An observer may have stopped touch; the engine must not act after its stop.
    if (wasRunning && !running())
        return;
    const bool ready = m_assembler.add(list, report, size);
    if (m_assembler.pending() && m_frameTimer == 0)
        m_frameTimer = m_env.scheduler.schedule(kFrameTimeout, [this] { frameTimedOut(); });
    if (!ready)
        return;
    m_env.scheduler.cancel(m_frameTimer);
    m_frameTimer = 0;
    handFrameOn(m_assembler.frame());
}

void VTTouchBridge::frameTimedOut()
{
    m_frameTimer = 0;
    if (!m_assembler.flush())
        return;
    m_decoder.endHybridFrame();
    handFrameOn(m_assembler.frame());
}

void VTTouchBridge::handFrameOn(const TouchContactList& frame)
{
    m_lastFrame = frame;
    if (m_env.notifications.hasObservers(VTNotification::TouchFrame)) {
        const bool wasRunning = running();
        m_env.notifications.post(VTNotification::TouchFrame, this,
                                 {{QStringLiteral("contacts"), contactDictionariesFromList(frame, m_engine->bounds())},
                                  {QStringLiteral("complete"), frame.complete}});
        if (wasRunning && !running())
            return;
    }
    if (!compatibilityTestMode())
        m_engine->handleContacts(frame);
}

QString VTTouchBridge::debugTextForReport(const std::uint8_t* report, int length, const TouchContactList& list) const
{
    return ::debugTextForReport(report, std::size_t(std::max(length, 0)), list, _hidDecoderStatus, m_decoder.layout(),
                                m_decoder.hybridModeObserved());
}

void VTTouchBridge::postDebugReport(const std::uint8_t* report, int length, const TouchContactList& list)
{
    if (!m_env.notifications.hasObservers(VTNotification::DebugReport))
        return;
    m_env.notifications.post(VTNotification::DebugReport, this,
                             {{QStringLiteral("text"), debugTextForReport(report, length, list)}});
}

void VTTouchBridge::postCompatibilityReport(const std::uint8_t* report, int length, const TouchContactList& list)
{
    if (!m_env.notifications.hasObservers(VTNotification::CompatibilityReport))
        return;
    m_env.notifications.post(VTNotification::CompatibilityReport, this,
                             {{QStringLiteral("text"), debugTextForReport(report, length, list)},
                              {QStringLiteral("contacts"), contactDictionariesFromList(list, m_engine->bounds())}});
}

void VTTouchBridge::handleDeviceRemoved()
{
    qWarning().noquote() << "Velotap touch device" << m_device.node << "went away; touch resumes when it returns";
    closeDevice();
    _statusText = QStringLiteral("Device not found");
    m_waitingForDevice = true;
    if (m_runningChanged)
        m_runningChanged();
}

void VTTouchBridge::devicesChanged()
{
    if (m_waitingForDevice && !running())
        scheduleRestart(kRestartDelay);
}

// A node that cannot be read yet is tried again when the device source
// reports a change, which includes the moment it becomes readable.
void VTTouchBridge::scheduleRestart(double delay)
{
    m_env.scheduler.cancel(m_restartTimer);
    m_restartTimer = m_env.scheduler.schedule(delay, [this] {
        m_restartTimer = 0;
        if (!m_waitingForDevice || running())
            return;
        if (start()) {
            qInfo().noquote() << "Velotap touch resumed on" << m_device.node;
            if (m_runningChanged)
                m_runningChanged();
        } else {
            m_waitingForDevice = true;
        }
    });
}
