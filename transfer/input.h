#pragma once
// The one-line input dialog: a prompt (Label1), one edit field (Edit1) and the buttons "O&k" and
// "&Avbryt". A caller sets the caption, the prompt and perhaps a preset text, runs exec() and
// reads Edit1 when the result is QDialog::Accepted. Enter is OK, Esc is cancel; the dialog has no
// title-bar buttons. Each showing keeps what the previous one left unless the caller sets it.
#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;

class TInputForm : public QDialog {
    Q_OBJECT
public:
    // owner: the window the dialog is centred over when it opens (none: the screen).
    explicit TInputForm(QWidget* owner = nullptr);
    ~TInputForm() override;

    // The dialog created at start-up (the last one created), or null.
    static TInputForm* instance();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    // Edit1 takes the focus with its text selected, so the first key replaces a preset text.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> m_owner;
};

// Centres a dialog over its owner when the owner is shown, else over the primary screen, and
// makes it the owner's transient window.
void CentreOverOwner(QWidget* dialog, QWidget* owner);
