#pragma once
#include "keyboard/PanelPlatform.h"

#include <memory>

// The keyboard panel's hints for X11 window managers: on every desktop,
// out of taskbars and pagers, above other windows. Qt's flags already make
// it a utility window that never takes the input focus.
class X11PanelPlatform final : public PanelPlatform {
public:
    // Translucency needs a compositing manager.
    bool supportsTranslucency() override;
    void prepareToShow(QWindow& window) override;
};

// The X11 hints when the application runs on X11, else none.
std::unique_ptr<PanelPlatform> createPanelPlatform();
