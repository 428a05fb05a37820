#include "framework/uihooks.h"

#include <cstdio>

UiHooks& uiHooks()
{
    static UiHooks hooks;
    return hooks;
}

void ShowMessage(const QString& caption, const QString& text)
{
    if (uiHooks().message)
        uiHooks().message(caption, text);
    else
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
}

BusyCursor::BusyCursor()
{
    if (uiHooks().busyCursor)
        uiHooks().busyCursor(true);
}

BusyCursor::~BusyCursor()
{
    if (uiHooks().busyCursor)
        uiHooks().busyCursor(false);
}

void ShowError(const QString& text)
{
    if (uiHooks().error)
        uiHooks().error(text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}
