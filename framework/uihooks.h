#pragma once
// The few places where the framework speaks to the user directly (a message box, the busy cursor)
// go through these hooks, so the framework itself needs no widgets. The program installs the real
// ones (Qt message boxes, the override cursor); without them a message goes to stderr and the
// cursor calls do nothing. Tests install recorders.
#include <QString>
#include <functional>

struct UiHooks {
    // A modal message with one OK button and no icon.
    std::function<void(const QString& caption, const QString& text)> message;
    // Busy cursor on (true) or back to the default (false).
    std::function<void(bool busy)> busyCursor;
    // The error message of a window handler that failed.
    std::function<void(const QString& text)> error;
};

UiHooks& uiHooks();

void ShowMessage(const QString& caption, const QString& text);

// Shows the busy cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// An error that ended a window handler, shown as the toolkit's error message. Without a hook it
// goes to stderr. Reached through ShowError.
void ShowError(const QString& text);
