#pragma once
#include "app/CursorControl.h"

#include <memory>

struct _XDisplay;

// Hides the pointer with XFixes on the screen's root window. The X server
// counts hides per connection and undoes them all when the connection
// closes, so a crash never leaves the pointer hidden; shows beyond the
// hides made are not sent (the server would refuse them).
class XFixesCursorControl final : public CursorControl {
public:
    // Null with *error set without an X display or XFixes 4.
    static std::unique_ptr<XFixesCursorControl> open(QString* error, const char* displayName = nullptr);
    ~XFixesCursorControl() override;

    void hideCursor(DisplayServices::DisplayID display) override;
    void showCursor(DisplayServices::DisplayID display) override;

    int outstandingHides() const { return m_hides; }

private:
    explicit XFixesCursorControl(_XDisplay* display) : m_display(display) {}

    _XDisplay* m_display;
    int m_hides = 0;
};
