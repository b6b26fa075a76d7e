#pragma once
#include <QRect>

// The desktop of TwoMonitorDesktopMain.cpp: two monitors side by side, the
// primary the smaller one on the left, so "largest" and "primary" differ.
namespace twomonitors {
inline const QRect kLeft(0, 0, 600, 900);
inline const QRect kRight(600, 0, 1000, 900);
} // namespace twomonitors
