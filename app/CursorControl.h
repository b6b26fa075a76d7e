#pragma once
#include "touch/DisplayServices.h"

// Hiding the pointer on a display. Hides are counted by the system: each
// show undoes one hide; extra shows are harmless.
class CursorControl {
public:
    virtual ~CursorControl() = default;
    virtual void hideCursor(DisplayServices::DisplayID display) = 0;
    virtual void showCursor(DisplayServices::DisplayID display) = 0;
};

// Where the pointer cannot be hidden (no X display): hiding does nothing.
class NoCursorControl final : public CursorControl {
public:
    void hideCursor(DisplayServices::DisplayID) override {}
    void showCursor(DisplayServices::DisplayID) override {}
};
