#include "viewer/windowmanager.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QThread>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* X11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The atom of a name; asked of the server once per name (the GUI thread's only).
xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    static QHash<QByteArray, xcb_atom_t> known;
    const auto cached = known.constFind(QByteArray(name));
    if (cached != known.constEnd())
        return *cached;
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    known.insert(QByteArray(name), atom);
    return atom;
}

// True while a window manager keeps the window: WM_STATE set and not Withdrawn (0).
bool Managed(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t wmState)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 2), nullptr);
    if (!reply)
        return false;
    const bool managed = reply->format == 32 && xcb_get_property_value_length(reply) >= 4 &&
                         *static_cast<const uint32_t*>(xcb_get_property_value(reply)) != 0;
    std::free(reply);
    return managed;
}

// Reads up to count 32-bit values of a window property; empty when it is not set.
std::vector<uint32_t> Cardinals(xcb_connection_t* connection, xcb_window_t window, const char* name, uint32_t count)
{
    const xcb_atom_t atom = Atom(connection, name);
    if (atom == XCB_ATOM_NONE)
        return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, count), nullptr);
    if (!reply)
        return {};
    std::vector<uint32_t> values;
    if (reply->format == 32) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

}  // namespace

void HideAndWaitUntilWithdrawn(QWidget& window)
{
    xcb_connection_t* connection = X11Connection();
    const auto id = xcb_window_t(window.internalWinId());
    const xcb_atom_t wmState = connection && id ? Atom(connection, "WM_STATE") : xcb_atom_t(XCB_ATOM_NONE);
    const bool managed = wmState != XCB_ATOM_NONE && Managed(connection, id, wmState);
    window.hide();
    if (!managed)
        return;
    xcb_flush(connection);
    // Let go means: WM_STATE no longer set, and the window back on the root window, out of the
    // frame the window manager had put it in.
    const auto onRoot = [&] {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr);
        if (!tree)
            return true;
        const bool root = tree->parent == tree->root;
        std::free(tree);
        return root;
    };
    QElapsedTimer clock;
    clock.start();
    while ((Managed(connection, id, wmState) || !onRoot()) && clock.elapsed() < 1000)
        QThread::msleep(5);
}

std::optional<QMargins> FrameExtents(const QWidget& window)
{
    xcb_connection_t* connection = X11Connection();
    const auto id = xcb_window_t(window.internalWinId());
    if (!connection || !id)
        return std::nullopt;
    const std::vector<uint32_t> e = Cardinals(connection, id, "_NET_FRAME_EXTENTS", 4);
    if (e.size() != 4)
        return std::nullopt;
    return QMargins(int(e[0]), int(e[2]), int(e[1]), int(e[3]));   // left, right, top, bottom
}

// The window's gravity says whether the window manager reads a requested position as the
// frame's (north-west) or the client's (static).
bool RequestOuterBounds(QWidget& window, const QRect& outer, const QMargins& frame)
{
    xcb_connection_t* connection = X11Connection();
    const auto id = xcb_window_t(window.internalWinId());
    if (!connection || !id)
        return false;
    const std::vector<uint32_t> hints = Cardinals(connection, id, "WM_NORMAL_HINTS", 18);
    constexpr uint32_t PWinGravity = 1u << 9;
    const bool staticGravity = hints.size() == 18 && (hints[0] & PWinGravity) && hints[17] == XCB_GRAVITY_STATIC;
    const QPoint at = staticGravity ? outer.topLeft() + QPoint(frame.left(), frame.top()) : outer.topLeft();
    const QSize client = outer.marginsRemoved(frame).size();
    const uint32_t values[] = {uint32_t(at.x()), uint32_t(at.y()), uint32_t(client.width()), uint32_t(client.height())};
    xcb_configure_window(connection, id,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(connection);
    return true;
}

void ForgetWindowManagerState(QWidget& window)
{
    xcb_connection_t* connection = X11Connection();
    const auto id = xcb_window_t(window.internalWinId());
    if (!connection || !id)
        return;
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    if (state != XCB_ATOM_NONE)
        xcb_delete_property(connection, id, state);
    xcb_flush(connection);
}
