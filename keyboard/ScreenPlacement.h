#pragma once

class QScreen;
class QWidget;

// The screen whose available area is largest (the first of equal ones; the
// primary, else the first, when every area is empty); null without screens.
QScreen* largestVisibleScreen();

// Centres the window on that screen's available area, in whole pixels; the
// window system places it when there is no screen.
void centerWindowOnLargestScreen(QWidget* window);
