// The server settings dialog and its record in the settings file.
#include "transfer/serveroppsett.h"

#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "transfer/input.h"

#include <QCheckBox>
#include <QEvent>
#include <QShowEvent>
#include <QLabel>
#include <QLineEdit>
#include <memory>

namespace {

TServerOppsettForm* s_instance = nullptr;

const QString kDesignCaption = QString::fromUtf8("Oppsett på server");
// The password field masks with '*', whatever the style's own mask character is.
const QString kMaskStyle = QStringLiteral("QLineEdit { lineedit-password-character: 42; }");

QLineEdit* AddField(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, 21);
    return edit;
}

// A caption 16 pixels above its control.
QLabel* AddCaption(QWidget* parent, const char* name, const QString& text, const QWidget* control)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(control->x(), control->y() - 16);
    label->adjustSize();
    return label;
}

}  // namespace

QString ServerSettingSection(const QString& kind) { return QStringLiteral("SERVER-SETTING-") + kind; }

QString StandardPort(const QString& kind)
{
    static const QList<QPair<QString, QString>> ports = {
        {"FTP", "21"}, {"HTTP", "80"}, {"LOG", "80"}, {"CFG", "21"},
        {"SMB", "445"}, {"MAIL", "80"}, {"RDP", "3389"}};
    for (const auto& [name, number] : ports)
        if (name == kind)
            return number;
    return {};
}

TServerOppsettForm::TServerOppsettForm(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_owner(owner)
{
    setObjectName(QStringLiteral("ServerOppsettForm"));
    setWindowTitle(kDesignCaption);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(449, 283);

    navn = AddField(this, "navn", 56, 48, 329);
    server = AddField(this, "server", 56, 104, 329);
    mappe = AddField(this, "mappe", 56, 160, 329);
    brukernavn = AddField(this, "brukernavn", 56, 216, 97);
    passord = AddField(this, "passord", 160, 216, 97);
    port = AddField(this, "port", 264, 216, 57);
    SSLL = new QCheckBox(QStringLiteral("SSL"), this);
    SSLL->setObjectName(QStringLiteral("SSLL"));
    SSLL->move(336, 218);
    SSLL->adjustSize();

    Label4 = AddCaption(this, "Label4", QStringLiteral("Navn:"), navn);
    Label1 = AddCaption(this, "Label1", QStringLiteral("Server:"), server);
    Label6 = AddCaption(this, "Label6", QStringLiteral("Mappe:"), mappe);
    Label2 = AddCaption(this, "Label2", QStringLiteral("Brukernavn:"), brukernavn);
    Label3 = AddCaption(this, "Label3", QStringLiteral("Passord:"), passord);
    Label5 = AddCaption(this, "Label5", QStringLiteral("Port:"), port);

    passord->setEchoMode(QLineEdit::Password);
    passord->setStyleSheet(kMaskStyle);
    passord->setToolTip(QString::fromUtf8("Dobbelklikk for å skjule/vise passord i klartekst"));
    passord->installEventFilter(this);

    setTabOrder(navn, server);
    setTabOrder(server, mappe);
    setTabOrder(mappe, brukernavn);
    setTabOrder(brukernavn, passord);
    setTabOrder(passord, port);
    setTabOrder(port, SSLL);

    s_instance = this;
}

TServerOppsettForm::~TServerOppsettForm()
{
    if (s_instance == this)
        s_instance = nullptr;
}

TServerOppsettForm* TServerOppsettForm::instance() { return s_instance; }

void TServerOppsettForm::FormShow()
{
    IniSection(ServerSettingSection(C_tag));
    navn->setText(IniReadString(QStringLiteral("name")));
    server->setText(IniReadString(QStringLiteral("server")));
    mappe->setText(IniReadString(QStringLiteral("folder")));
    brukernavn->setText(IniReadString(QStringLiteral("username")));
    passord->setText(UnscrambleText(IniReadString(QStringLiteral("password"))));
    port->setText(IniReadString(QStringLiteral("port")));
    SSLL->setChecked(IniReadBool(QStringLiteral("SSL")));
    IniStandard();
}

void TServerOppsettForm::FormClose()
{
    IniSection(ServerSettingSection(C_tag));
    IniWriteString(QStringLiteral("name"), navn->text());
    IniWriteString(QStringLiteral("server"), server->text());
    IniWriteString(QStringLiteral("folder"), mappe->text());
    IniWriteString(QStringLiteral("username"), brukernavn->text());
    IniWriteString(QStringLiteral("password"), ScrambleText(passord->text()));
    if (port->text().isEmpty())
        port->setText(StandardPort(C_tag));
    IniWriteString(QStringLiteral("port"), port->text());
    IniWriteBool(QStringLiteral("SSL"), SSLL->isChecked());
    IniStandard();
}

void TServerOppsettForm::passordDblClick()
{
    passord->setEchoMode(passord->echoMode() == QLineEdit::Password ? QLineEdit::Normal : QLineEdit::Password);
}

void TServerOppsettForm::done(int result)
{
    // Qt ends a dialog's close box, Esc and Alt+F4 here, so every close stores the record once.
    if (isVisible())
        FormClose();
    QDialog::done(result);
}

void TServerOppsettForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOverOwner(this, m_owner);
    FormShow();
    navn->setFocus(Qt::OtherFocusReason);
}

bool TServerOppsettForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == passord && event->type() == QEvent::MouseButtonDblClick) {
        passordDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void EditServerSetting(const QString& caption, const QString& kind)
{
    std::unique_ptr<TServerOppsettForm> passing;
    TServerOppsettForm* dialog = TServerOppsettForm::instance();
    if (!dialog) {
        passing = std::make_unique<TServerOppsettForm>();
        dialog = passing.get();
    }
    dialog->setWindowTitle(caption);
    dialog->C_tag = kind;
    dialog->exec();
}
