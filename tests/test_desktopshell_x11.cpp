// The lockdown switches against a real X server (the one scripts/test.sh starts for the
// end-to-end tests): shell windows made here are hidden and shown through the switches of the
// system-information window, and nothing else is touched.
#include "platform/desktopshell.h"
#include "sysinfo/isysinfo.h"
#include "testenv.h"

#include <QCheckBox>
#include <QFrame>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include <xcb/xcb.h>

namespace {

class X11Switches : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = qgetenv("GLIMRA_E2E_DISPLAY");
        ASSERT_FALSE(display.isEmpty()) << "needs the X server that scripts/test.sh starts (GLIMRA_E2E_DISPLAY)";
        c = xcb_connect(display.constData(), &screenNumber);
        ASSERT_FALSE(xcb_connection_has_error(c)) << "cannot open " << display.constData();
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        screen = it.data;
        platform::SetDesktopShell(platform::CreateX11DesktopShell(display));
    }
    void TearDown() override
    {
        platform::SetDesktopShell(nullptr);
        if (!c)
            return;
        for (xcb_window_t w : windows)
            xcb_destroy_window(c, w);
        xcb_flush(c);
        xcb_disconnect(c);
    }

    xcb_atom_t atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
        std::free(r);
        return a;
    }

    // A small top-level window with the given EWMH type (none for nullptr), mapped or not.
    xcb_window_t window(const char* type, bool map)
    {
        const xcb_window_t w = xcb_generate_id(c);
        const int n = int(windows.size());
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, int16_t(1800 + 10 * n), 1000, 8, 8, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        if (type) {
            const xcb_atom_t t = atom(type);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &t);
        }
        if (map)
            xcb_map_window(c, w);
        windows.push_back(w);
        sync();
        return w;
    }

    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    bool isMapped(xcb_window_t w)
    {
        auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const bool m = a && a->map_state != XCB_MAP_STATE_UNMAPPED;
        std::free(a);
        return m;
    }

    // The map state once it has settled: a window manager maps a window only when it has
    // handled the request, so a state other than the last one seen is given a moment to arrive.
    bool mapped(xcb_window_t w)
    {
        const bool first = isMapped(w);
        for (int i = 0; i < 20; ++i) {
            QThread::msleep(10);
            if (isMapped(w) != first)
                return !first;
        }
        return first;
    }

    xcb_window_t focus()
    {
        auto* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const xcb_window_t f = r ? r->focus : XCB_WINDOW_NONE;
        std::free(r);
        return f;
    }

    void setFocus(xcb_window_t w)
    {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
        sync();
    }

    // The system-information window with its switch panel enabled by the heading.
    std::unique_ptr<TSysInfoForm> switches()
    {
        auto form = std::make_unique<TSysInfoForm>();
        form->GroupBox4DblClick();
        return form;
    }

    TestEnv env;
    QByteArray display;
    int screenNumber = 0;
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
    std::vector<xcb_window_t> windows;
};

TEST_F(X11Switches, SkjulOppgavelinjeHidesTheDockAndClearingShowsItWithoutTheFocus)
{
    const xcb_window_t app = window(nullptr, true);
    const xcb_window_t dock = window("_NET_WM_WINDOW_TYPE_DOCK", true);
    const xcb_window_t withdrawn = window("_NET_WM_WINDOW_TYPE_DOCK", false);  // its program hid it
    const xcb_window_t desktop = window("_NET_WM_WINDOW_TYPE_DESKTOP", true);
    setFocus(app);
    auto form = switches();

    form->cWinShowTask->click();
    EXPECT_FALSE(mapped(dock));
    EXPECT_TRUE(mapped(app));
    EXPECT_TRUE(mapped(desktop));
    EXPECT_EQ(focus(), app);

    form->cWinShowTask->click();
    EXPECT_TRUE(mapped(dock));
    EXPECT_FALSE(mapped(withdrawn)) << "only what the switch hid is shown again";
    EXPECT_EQ(focus(), app) << "shown without the focus";

    // Shown again, the dock carries no mark: a second clear leaves a dock that its own program
    // hides afterwards as it is.
    xcb_unmap_window(c, dock);
    sync();
    form->cWinShowTask->click();
    form->cWinShowTask->click();
    EXPECT_FALSE(mapped(dock));
}

TEST_F(X11Switches, DesktopAndTraySwitchesAndALaterRun)
{
    const xcb_window_t app = window(nullptr, true);
    const xcb_window_t desktop = window("_NET_WM_WINDOW_TYPE_DESKTOP", true);
    const xcb_window_t tray = window(nullptr, true);
    const xcb_window_t dock = window("_NET_WM_WINDOW_TYPE_DOCK", true);
    const xcb_atom_t selection = atom(("_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber)).c_str());
    xcb_set_selection_owner(c, tray, selection, XCB_CURRENT_TIME);
    setFocus(app);

    const struct {
        QCheckBox* TSysInfoForm::*box;
        xcb_window_t window;
    } cases[] = {{&TSysInfoForm::cWinDesktop, desktop}, {&TSysInfoForm::cWinTray, tray}};
    for (const auto& k : cases) {
        auto form = switches();
        QCheckBox* box = form.get()->*k.box;
        box->click();
        EXPECT_FALSE(mapped(k.window)) << box->text().toStdString();
        EXPECT_TRUE(mapped(dock)) << box->text().toStdString();
        EXPECT_TRUE(mapped(app)) << box->text().toStdString();
        // A new window (a new run of the program: a new connection) starts cleared; a check and a
        // clear there show again what the first one hid.
        form.reset();
        platform::SetDesktopShell(platform::CreateX11DesktopShell(display));
        form = switches();
        box = form.get()->*k.box;
        EXPECT_FALSE(box->isChecked());
        box->click();
        // A window manager may have moved the focus when the window went; showing it moves it no more.
        const xcb_window_t before = focus();
        box->click();
        EXPECT_TRUE(mapped(k.window)) << box->text().toStdString();
        EXPECT_EQ(focus(), before) << box->text().toStdString();
        EXPECT_NE(focus(), k.window) << box->text().toStdString();
    }
    xcb_set_selection_owner(c, XCB_WINDOW_NONE, selection, XCB_CURRENT_TIME);
}

TEST_F(X11Switches, SwitchesWithoutAnX11CounterpartTouchNoWindow)
{
    const xcb_window_t app = window(nullptr, true);
    const xcb_window_t dock = window("_NET_WM_WINDOW_TYPE_DOCK", true);
    setFocus(app);
    auto form = switches();
    for (QCheckBox* box : {form->cWinTast, form->cWinDisTask, form->cWinStartKnapp}) {
        box->click();
        EXPECT_TRUE(mapped(dock)) << box->text().toStdString();
        EXPECT_EQ(focus(), app) << box->text().toStdString();
    }
}

TEST(X11Backend, NoServerNoBackend)
{
    EXPECT_EQ(platform::CreateX11DesktopShell(":4711"), nullptr);
}

}  // namespace
