// The desktop test main, on the two monitors of TwoMonitorDesktop.h.
#define VELOTAP_TWO_MONITORS
#include "tests/support/DesktopTestMain.cpp"
