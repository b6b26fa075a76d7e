#pragma once
#include <memory>
#include <utility>

// A window of the application: made on first request, then kept and shown
// again on every later one.
class AppWindow {
public:
    virtual ~AppWindow() = default;
    // Shows it in front, with the focus.
    virtual void showWindow() = 0;
};

// Keeps a window controller (anything with showWindow()) as an AppWindow.
template <typename Controller>
class ControllerWindow final : public AppWindow {
public:
    explicit ControllerWindow(std::unique_ptr<Controller> controller) : m_controller(std::move(controller)) {}
    void showWindow() override { m_controller->showWindow(); }
    Controller& controller() { return *m_controller; }

private:
    std::unique_ptr<Controller> m_controller;
};

template <typename Controller, typename... Arguments>
std::unique_ptr<AppWindow> makeControllerWindow(Arguments&&... arguments)
{
    return std::make_unique<ControllerWindow<Controller>>(
        std::make_unique<Controller>(std::forward<Arguments>(arguments)...));
}
