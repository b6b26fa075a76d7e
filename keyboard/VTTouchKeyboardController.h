#pragma once
#include "base/NotificationCenter.h"
#include "keyboard/TouchKeyboardLogic.h"
#include "keyboard/VTKeyboardButton.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <memory>

class EventSink;
class KeyboardIcons;
class PanelPlatform;
class Scheduler;
class SettingsStore;
class QWidget;

// The on-screen touch keyboard: a frameless panel that floats above every
// window and never takes the keyboard focus, so its keys type into the
// application that has it. The panel is made on first show and kept; it
// sits on the largest screen at one of six saved positions. Main thread
// only.
class VTTouchKeyboardController final : public QObject, private KeyboardPanelHooks, private KeyButtonHoldTarget {
    Q_OBJECT
public:
    struct Environment {
        EventSink& sink;
        Scheduler& scheduler;
        SettingsStore& settings;
        NotificationCenter& notifications;
        PanelPlatform& platform;
        // The built-in icons when null.
        KeyboardIcons* icons = nullptr;
    };

    explicit VTTouchKeyboardController(const Environment& environment);
    ~VTTouchKeyboardController() override;

    bool visible() const;
    // Shows the keyboard at its saved position (again, when shown already).
    void showKeyboard();
    // Stops any repeat, lets go of the latched modifiers and hold mode and
    // brings the full keyboard back for the next show.
    void hideKeyboard() override;
    // Moves to the next saved position and keeps it.
    void cycleKeyboardPosition() override;
    // The saved position, as one of the six names.
    QString keyboardPosition() const;
    void positionKeyboardAtSavedPosition();

    const KeyboardState& state() const { return m_logic.state(); }
    TouchKeyboardLogic& logic() { return m_logic; }
    // Null until first shown.
    QWidget* panel() const;
    QList<VTKeyboardButton*> keyButtons() const;

private:
    class Panel;

    void ensurePanel();
    void buildKeys();
    void resizePanelForRowCount(int rows);
    VTKeyboardButton* keyButtonWithTitle(const QString& title, const QRect& frame, const KeyDescriptor& descriptor);
    void applyIconForButton(VTKeyboardButton& button, bool active);
    void keyPressed(VTKeyboardButton& button);

    void refreshModifierButtons() override;
    void keyboardLayoutChanged(bool sizeChanged) override;
    bool keyButtonShouldUseHold(VTKeyboardButton& button) override;
    void keyButtonHoldBegan(VTKeyboardButton& button) override;
    void keyButtonHoldEnded(VTKeyboardButton& button) override;

    Scheduler& m_scheduler;
    SettingsStore& m_settings;
    PanelPlatform& m_platform;
    KeyboardIcons& m_icons;
    TouchKeyboardLogic m_logic;
    ScopedObserver m_showObserver;
    std::unique_ptr<Panel> _panel;
    QWidget* _keyView = nullptr;
    // Rebuilds and placements posted by the keys outlive no controller.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
