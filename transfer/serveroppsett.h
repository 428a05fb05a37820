#pragma once
// The server settings dialog: edits one connection record, the settings section
// "SERVER-SETTING-" + kind, loading it when shown and storing it on every close. The password is
// kept scrambled in the file; an empty port is filled with the kind's standard port on close.
#include <QDialog>
#include <QPointer>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;

// The settings section of a kind's record: "SERVER-SETTING-" + kind, the kind exactly as given.
QString ServerSettingSection(const QString& kind);
// The standard port of a kind ("FTP" "21", "HTTP" "80", ...), compared exactly; empty for any
// other kind.
QString StandardPort(const QString& kind);

class TServerOppsettForm : public QDialog {
    Q_OBJECT
public:
    // owner: the window the dialog is centred over when it opens (none: the screen).
    explicit TServerOppsettForm(QWidget* owner = nullptr);
    ~TServerOppsettForm() override;

    // The dialog created at start-up (the last one created), or null.
    static TServerOppsettForm* instance();

    QLineEdit* server = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* brukernavn = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* passord = nullptr;
    QLineEdit* navn = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* port = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* mappe = nullptr;
    QLabel* Label6 = nullptr;
    QCheckBox* SSLL = nullptr;
    // The kind being edited.
    QString C_tag;

    // Loads the record of C_tag into the fields; STANDARD is current afterwards.
    void FormShow();
    // Stores the fields into the record of C_tag; STANDARD is current afterwards.
    void FormClose();
    // Toggles the password field between masked and clear text.
    void passordDblClick();

    // Every way of closing (the close box, Esc, the system close keys) ends here and stores.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_owner;
};

// Sets the dialog's caption and kind and shows it modally; returns when it has been closed (and
// the record stored). Uses the dialog created at start-up, or a passing one when there is none.
void EditServerSetting(const QString& caption, const QString& kind);
