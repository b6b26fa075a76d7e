#pragma once

class QWindow;

// What the window system needs for a keyboard panel beyond Qt's window
// flags: hints for the window manager, and whether anything can draw a
// translucent window.
class PanelPlatform {
public:
    virtual ~PanelPlatform() = default;
    // Asked once, before the panel's window exists.
    virtual bool supportsTranslucency() = 0;
    // Before every show, on the panel's native window.
    virtual void prepareToShow(QWindow& window) = 0;
};

// For window systems where the flags say everything (Wayland compositors,
// the offscreen platform).
class PlainPanelPlatform final : public PanelPlatform {
public:
    bool supportsTranslucency() override { return true; }
    void prepareToShow(QWindow&) override {}
};
