#pragma once

// The on-screen touch keyboard as the application shell sees it.
class KeyboardPanel {
public:
    virtual ~KeyboardPanel() = default;
    virtual bool visible() const = 0;
    virtual void showKeyboard() = 0;
    virtual void hideKeyboard() = 0;
};

// Stands in until a real panel is wired in: it only remembers its state.
class RememberedKeyboardPanel final : public KeyboardPanel {
public:
    bool visible() const override { return m_visible; }
    void showKeyboard() override { m_visible = true; }
    void hideKeyboard() override { m_visible = false; }

private:
    bool m_visible = false;
};
