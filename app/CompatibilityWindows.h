#pragma once
#include "app/AppEnvironment.h"
#include "compat/CompatibilityEnvironment.h"

#include <functional>

// What the compatibility check, the step-by-step test and the touch
// indicators are made from; the delegate supplies quitting and the keyboard.
struct CompatibilityWindowServices {
    CompatibilityEnvironment environment;
    // Whether windows can be see-through (a compositor runs).
    std::function<bool()> compositing;
};

// Sets the factories of the compatibility windows and the touch indicators;
// `services` outlives the delegate.
void addCompatibilityWindows(AppWindowFactories& windows, const CompatibilityWindowServices& services);
