// The one-line input dialog under offscreen: its layout, focus and selection, and its keys.
#include "transfer/input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs the dialog as a caller does; `act` runs once it is shown and active, as a window manager
// makes it.
int RunDialog(TInputForm& dialog, const std::function<void()>& act)
{
    QTimer::singleShot(0, [&dialog, act] {
        QApplication::setActiveWindow(&dialog);
        act();
    });
    return dialog.exec();
}

// A key as the keyboard gives it, to the widget with the focus (shortcuts included).
void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

TEST(InputDialog, LayoutAsDesigned)
{
    TInputForm dialog;
    EXPECT_EQ(dialog.size(), QSize(396, 113));
    EXPECT_EQ(dialog.windowTitle(), "Input:");
    EXPECT_EQ(dialog.Label1->text(), "Label");
    EXPECT_EQ(dialog.Label1->pos(), QPoint(32, 24));
    EXPECT_EQ(dialog.Edit1->geometry().topLeft(), QPoint(32, 40));
    EXPECT_EQ(dialog.Edit1->width(), 337);
    EXPECT_EQ(dialog.BitBtn1->text(), "O&k");
    EXPECT_EQ(dialog.BitBtn1->pos(), QPoint(88, 80));
    EXPECT_EQ(dialog.BitBtn2->text(), "&Avbryt");
    EXPECT_EQ(dialog.BitBtn2->pos(), QPoint(216, 80));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(InputDialog, PresetTextIsSelectedAndEscCancelsLeavingIt)
{
    TInputForm dialog;
    dialog.Label1->setText("Navn på bildet:");
    dialog.Edit1->setText("sommer.jpg");
    bool focused = false, selected = false;
    const int result = RunDialog(dialog, [&] {
        focused = QApplication::focusWidget() == dialog.Edit1;
        selected = dialog.Edit1->selectedText() == "sommer.jpg";
        Key(Qt::Key_Escape);
    });
    EXPECT_TRUE(focused);
    EXPECT_TRUE(selected);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dialog.Edit1->text(), "sommer.jpg");
}

TEST(InputDialog, TypingReplacesThePresetAndEnterConfirms)
{
    TInputForm dialog;
    dialog.Edit1->setText("gammel");
    const int result = RunDialog(dialog, [] {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8("vår"));
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.Edit1->text(), QString::fromUtf8("vår"));

    // The next showing keeps what this one left, and the buttons' keys work.
    const int again = RunDialog(dialog, [] { Key(Qt::Key_A, Qt::AltModifier); });
    EXPECT_EQ(again, QDialog::Rejected);
    EXPECT_EQ(dialog.Edit1->text(), QString::fromUtf8("vår"));
    const int ok = RunDialog(dialog, [] { Key(Qt::Key_K, Qt::AltModifier); });
    EXPECT_EQ(ok, QDialog::Accepted);
}

}  // namespace
