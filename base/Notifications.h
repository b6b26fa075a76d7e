#pragma once
#include <QString>

// Every notification name the program posts, in one place.
namespace VTNotification {
inline const QString DebugReport = QStringLiteral("VTDebugReportNotification");
inline const QString CompatibilityReport = QStringLiteral("VTCompatibilityReportNotification");
// Every contact frame the gesture engine gets (also in compatibility test
// mode), after the reports it was put together from: "contacts" (contact
// dictionaries of the whole frame) and "complete" (false when a frame spread
// over several reports was handed on without its last one).
inline const QString TouchFrame = QStringLiteral("VTTouchFrameNotification");
inline const QString CompatibilityTestModeDidChange = QStringLiteral("VTCompatibilityTestModeDidChangeNotification");
inline const QString InitialCompatibilityCompleted = QStringLiteral("VTInitialCompatibilityCompletedNotification");
inline const QString DeviceSelectionDidChange = QStringLiteral("VTDeviceSelectionDidChangeNotification");
inline const QString DisplaySelectionDidChange = QStringLiteral("VTDisplaySelectionDidChangeNotification");
inline const QString TouchIndicatorsSettingDidChange = QStringLiteral("VTTouchIndicatorsSettingDidChangeNotification");
inline const QString SettingsProfileDidChange = QStringLiteral("VTSettingsProfileDidChangeNotification");
inline const QString TouchKeyboardShow = QStringLiteral("VTTouchKeyboardShowNotification");
inline const QString MinimumSupportedVersionFailed = QStringLiteral("VTMinimumSupportedVersionFailedNotification");
} // namespace VTNotification
