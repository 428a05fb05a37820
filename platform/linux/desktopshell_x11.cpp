// The lockdown switches on an X server: the EWMH dock windows stand for the taskbar, the
// desktop-type windows for the desktop icons, the system-tray selection owner for the tray.
#include "platform/desktopshell.h"

#include <QByteArray>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <xcb/xcb.h>

namespace platform {
namespace {

// The property that marks a window this program hid, with the switch's name as its value.
constexpr char kMarkName[] = "_GLIMRA_LOCKDOWN";
constexpr char kTaskbar[] = "taskbar";
constexpr char kDesktop[] = "desktop";
constexpr char kTray[] = "tray";

// The walk for client windows looks this deep below the root (a reparenting window manager puts
// a client two or three levels down) and at this many windows at most.
constexpr int kWalkDepth = 4;
constexpr std::size_t kWalkLimit = 20000;

template <typename T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

class X11DesktopShell final : public DesktopShell {
public:
    X11DesktopShell(xcb_connection_t* connection, xcb_window_t root, int screenNumber)
        : m_c(connection), m_root(root), m_screenNumber(screenNumber)
    {
        m_type = atom("_NET_WM_WINDOW_TYPE");
        m_dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        m_desktop = atom("_NET_WM_WINDOW_TYPE_DESKTOP");
        m_wmState = atom("WM_STATE");
        m_userTime = atom("_NET_WM_USER_TIME");
        m_mark = atom(kMarkName);
    }
    ~X11DesktopShell() override { xcb_disconnect(m_c); }
    X11DesktopShell(const X11DesktopShell&) = delete;
    X11DesktopShell& operator=(const X11DesktopShell&) = delete;

    // X11 has no switch that keeps the key combinations from the window manager and the desktop.
    void blockSystemKeys(bool) override {}
    void showTaskbar(bool show) override { setShown(m_dock, kTaskbar, show); }
    // X11 windows have no disabled state that another program could set.
    void enableTaskbar(bool) override {}
    // X11 desktops have no start-button window that the protocol names.
    void enableStartButton(bool) override {}
    void showDesktopIcons(bool show) override { setShown(m_desktop, kDesktop, show); }
    void showTrayToolbar(bool show) override
    {
        const xcb_atom_t selection = atom(("_NET_SYSTEM_TRAY_S" + QByteArray::number(m_screenNumber)).constData());
        Reply owner(xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, selection), nullptr));
        if (owner && owner->owner != XCB_WINDOW_NONE) {
            if (show) {
                if (markOf(owner->owner) == kTray)
                    mapWindow(owner->owner);
            } else if (isMapped(owner->owner)) {
                hideWindow(owner->owner, kTray);
            }
        }
        finish();
    }

private:
    xcb_atom_t atom(const char* name)
    {
        Reply r(xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, std::uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    bool isMapped(xcb_window_t w)
    {
        Reply a(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr));
        return a && a->map_state != XCB_MAP_STATE_UNMAPPED;
    }

    QByteArray markOf(xcb_window_t w)
    {
        Reply r(xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, m_mark, XCB_ATOM_STRING, 0, 16), nullptr));
        if (!r || r->format != 8)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(r.p)), xcb_get_property_value_length(r.p));
    }

    // Hides a shell window: the mark first, so that a later show finds it, then the unmap.
    void hideWindow(xcb_window_t w, const char* kind)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, m_mark, XCB_ATOM_STRING, 8,
                            std::uint32_t(std::strlen(kind)), kind);
        xcb_unmap_window(m_c, w);
    }

    // Shows a window again without activating it: a user time of 0 asks the window manager not
    // to give it the focus; with no window manager a map never moves the focus.
    void mapWindow(xcb_window_t w)
    {
        const std::uint32_t zero = 0;
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, m_userTime, XCB_ATOM_CARDINAL, 32, 1, &zero);
        xcb_delete_property(m_c, w, m_mark);
        xcb_map_window(m_c, w);
    }

    void setShown(xcb_atom_t type, const char* kind, bool show)
    {
        for (xcb_window_t w : clientWindows()) {
            if (show) {
                if (markOf(w) == kind)
                    mapWindow(w);
            } else if (hasType(w, type) && isMapped(w)) {
                hideWindow(w, kind);
            }
        }
        finish();
    }

    bool hasType(xcb_window_t w, xcb_atom_t type)
    {
        Reply r(xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, m_type, XCB_ATOM_ATOM, 0, 32), nullptr));
        if (!r || r->format != 32)
            return false;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r.p));
        const int n = xcb_get_property_value_length(r.p) / 4;
        for (int i = 0; i < n; ++i)
            if (atoms[i] == type)
                return true;
        return false;
    }

    // The client windows: those with a window type, a window-manager state or our mark, found
    // level by level below the root; the walk does not look inside a client.
    std::vector<xcb_window_t> clientWindows()
    {
        std::vector<xcb_window_t> clients, level{m_root};
        std::size_t seen = 0;
        for (int depth = 0; depth < kWalkDepth && !level.empty() && seen < kWalkLimit; ++depth) {
            std::vector<xcb_query_tree_cookie_t> trees;
            for (xcb_window_t w : level)
                trees.push_back(xcb_query_tree(m_c, w));
            std::vector<xcb_window_t> children;
            for (auto cookie : trees) {
                Reply tree(xcb_query_tree_reply(m_c, cookie, nullptr));
                if (!tree)
                    continue;
                const xcb_window_t* kids = xcb_query_tree_children(tree.p);
                children.insert(children.end(), kids, kids + xcb_query_tree_children_length(tree.p));
            }
            seen += children.size();
            std::vector<xcb_get_property_cookie_t> probes;
            for (xcb_window_t w : children) {
                probes.push_back(xcb_get_property(m_c, 0, w, m_type, XCB_ATOM_ANY, 0, 0));
                probes.push_back(xcb_get_property(m_c, 0, w, m_wmState, XCB_ATOM_ANY, 0, 0));
                probes.push_back(xcb_get_property(m_c, 0, w, m_mark, XCB_ATOM_ANY, 0, 0));
            }
            level.clear();
            for (std::size_t i = 0; i < children.size(); ++i) {
                bool client = false;
                for (std::size_t k = 0; k < 3; ++k) {
                    Reply r(xcb_get_property_reply(m_c, probes[3 * i + k], nullptr));
                    client = client || (r && r->type != XCB_ATOM_NONE);
                }
                (client ? clients : level).push_back(children[i]);
            }
        }
        return clients;
    }

    // Sends the requests and waits until the server has done them, so the change is in force
    // when the switch returns; errors about windows that went away meanwhile are dropped.
    void finish()
    {
        Reply focus(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c))
            std::free(event);
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    int m_screenNumber;
    xcb_atom_t m_type = XCB_ATOM_NONE;
    xcb_atom_t m_dock = XCB_ATOM_NONE;
    xcb_atom_t m_desktop = XCB_ATOM_NONE;
    xcb_atom_t m_wmState = XCB_ATOM_NONE;
    xcb_atom_t m_userTime = XCB_ATOM_NONE;
    xcb_atom_t m_mark = XCB_ATOM_NONE;
};

}  // namespace

std::unique_ptr<DesktopShell> CreateX11DesktopShell(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::make_unique<X11DesktopShell>(c, it.data->root, screenNumber);
}

}  // namespace platform
