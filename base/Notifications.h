#pragma once
#include <QString>

// Every notification name the program posts, in one place.
namespace VTNotification {
inline const QString DebugReport = QStringLiteral("VTDebugReportNotification");
inline const QString CompatibilityReport = QStringLiteral("VTCompatibilityReportNotification");
inline const QString CompatibilityTestModeDidChange = QStringLiteral("VTCompatibilityTestModeDidChangeNotification");
inline const QString InitialCompatibilityCompleted = QStringLiteral("VTInitialCompatibilityCompletedNotification");
inline const QString DeviceSelectionDidChange = QStringLiteral("VTDeviceSelectionDidChangeNotification");
inline const QString DisplaySelectionDidChange = QStringLiteral("VTDisplaySelectionDidChangeNotification");
inline const QString TouchIndicatorsSettingDidChange = QStringLiteral("VTTouchIndicatorsSettingDidChangeNotification");
inline const QString SettingsProfileDidChange = QStringLiteral("VTSettingsProfileDidChangeNotification");
inline const QString TouchKeyboardShow = QStringLiteral("VTTouchKeyboardShowNotification");
inline const QString MinimumSupportedVersionFailed = QStringLiteral("VTMinimumSupportedVersionFailedNotification");
} // namespace VTNotification
