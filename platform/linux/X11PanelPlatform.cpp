#include "platform/linux/X11PanelPlatform.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name),
                                nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

std::vector<xcb_atom_t> atomList(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property)
{
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return atoms;
}

} // namespace

bool X11PanelPlatform::supportsTranslucency()
{
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return false;
    // The compositing manager of the first screen owns this selection.
    const xcb_atom_t owned = atom(connection, "_NET_WM_CM_S0");
    if (owned == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* reply
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, owned), nullptr);
    const bool composited = reply && reply->owner != XCB_WINDOW_NONE;
    free(reply);
    return composited;
}

void X11PanelPlatform::prepareToShow(QWindow& window)
{
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());

    // The window is not mapped yet, so its state is set directly; Qt adds
    // its own states to these when it maps the window.
    const xcb_atom_t stateProperty = atom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states = atomList(connection, id, stateProperty);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_STICKY",
                             "_NET_WM_STATE_ABOVE"}) {
        const xcb_atom_t state = atom(connection, name);
        if (state != XCB_ATOM_NONE && std::find(states.begin(), states.end(), state) == states.end())
            states.push_back(state);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, stateProperty, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.data());

    // On every virtual desktop.
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}

std::unique_ptr<PanelPlatform> createPanelPlatform()
{
    if (qtConnection())
        return std::make_unique<X11PanelPlatform>();
    return std::make_unique<PlainPanelPlatform>();
}
