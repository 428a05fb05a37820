// The server settings dialog under offscreen: loading and storing a record, standard ports, the
// password mask and its layout.
#include "transfer/serveroppsett.h"

#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Opens the dialog for the kind as a caller does, lets `edit` work on the shown dialog, then
// closes it by `close` (the close box unless given).
void Edit(const QString& kind, const std::function<void(TServerOppsettForm&)>& edit,
          const std::function<void(TServerOppsettForm&)>& close = [](TServerOppsettForm& d) { d.close(); })
{
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TServerOppsettForm*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        edit(*d);
        close(*d);
    });
    EditServerSetting("Oppsett " + kind, kind);
}

QString Stored(const QString& kind, const QString& key)
{
    IniSection("SERVER-SETTING-" + kind);
    const QString value = IniReadString(key);
    IniStandard();
    return value;
}

void DoubleClick(QWidget* w)
{
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, {}, {});
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
    QApplication::sendEvent(w, &dbl);
    QApplication::sendEvent(w, &release);
}

class ServerDialogTest : public ::testing::Test {
protected:
    TestEnv env;
    TServerOppsettForm dialog;
};

TEST_F(ServerDialogTest, ClosingAtOnceOnAnEmptySectionStoresEmptyFieldsAndTheStandardPort)
{
    QStringList shown;
    Edit("SMB", [&](TServerOppsettForm& d) {
        shown << d.navn->text() << d.server->text() << d.mappe->text() << d.brukernavn->text() << d.passord->text()
              << d.port->text() << (d.SSLL->isChecked() ? "SSL" : "");
        shown << (d.focusWidget() == d.navn ? "navn aktiv" : "");
        shown << d.windowTitle();
    });
    EXPECT_EQ(shown, QStringList({"", "", "", "", "", "", "", "navn aktiv", "Oppsett SMB"}));
    const QString section = "SERVER-SETTING-SMB";
    const IniDocument& doc = settingsState().document;
    for (const char* key : {"name", "server", "folder", "username"}) {
        EXPECT_TRUE(doc.contains(section, key)) << key;
        EXPECT_EQ(doc.value(section, key), "") << key;
    }
    EXPECT_EQ(doc.value(section, "password"), ScrambleText(""));
    EXPECT_EQ(doc.value(section, "port"), "445");
    EXPECT_EQ(doc.value(section, "SSL"), "0");
    EXPECT_EQ(dialog.port->text(), "445");  // the filled-in port stays visible
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
}

TEST_F(ServerDialogTest, AnEmptyPortGetsTheKindsStandardPortAndATypedOneIsKept)
{
    const QList<QPair<QString, QString>> kinds = {{"FTP", "21"},  {"HTTP", "80"}, {"LOG", "80"},  {"CFG", "21"},
                                                  {"SMB", "445"}, {"MAIL", "80"}, {"RDP", "3389"}, {"ftp", ""},
                                                  {"Smb", ""},    {"", ""}};
    for (const auto& [kind, port] : kinds) {
        // Section names match without regard to case, so every kind starts from an empty file.
        settingsState().document = IniDocument{};
        Edit(kind, [](TServerOppsettForm&) {});
        EXPECT_EQ(Stored(kind, "port"), port) << kind.toStdString();
        EXPECT_TRUE(settingsState().document.contains("SERVER-SETTING-" + kind, "port"));
        Edit(kind, [](TServerOppsettForm& d) { d.port->setText("x99"); });
        EXPECT_EQ(Stored(kind, "port"), "x99") << kind.toStdString();
    }
}

TEST_F(ServerDialogTest, ARecordComesBackAsStoredWithThePasswordScrambled)
{
    IniSection("ANNET");
    Edit("FTP", [](TServerOppsettForm& d) {
        d.navn->setText("Hjemme");
        d.server->setText("ftp.example.org");
        d.mappe->setText("pub/bilder");
        d.brukernavn->setText("ola");
        d.passord->setText(QString::fromUtf8("hemmelig æøå"));
        d.port->setText("2121");
        d.SSLL->setChecked(true);
    });
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
    EXPECT_EQ(Stored("FTP", "password"), ScrambleText(QString::fromUtf8("hemmelig æøå")));
    EXPECT_NE(Stored("FTP", "password"), QString::fromUtf8("hemmelig æøå"));
    EXPECT_EQ(Stored("FTP", "SSL"), "1");

    // Another kind in between, so the fields really are reloaded.
    Edit("HTTP", [](TServerOppsettForm& d) { d.navn->setText("Web"); });
    QStringList shown;
    Edit("FTP", [&](TServerOppsettForm& d) {
        shown << d.navn->text() << d.server->text() << d.mappe->text() << d.brukernavn->text() << d.passord->text()
              << d.port->text() << (d.SSLL->isChecked() ? "SSL" : "ingen SSL");
    });
    EXPECT_EQ(shown, QStringList({"Hjemme", "ftp.example.org", "pub/bilder", "ola", QString::fromUtf8("hemmelig æøå"),
                                  "2121", "SSL"}));
    EXPECT_EQ(Stored("HTTP", "name"), "Web");
}

TEST_F(ServerDialogTest, EscAndTheCloseBoxBothStore)
{
    Edit(
        "RDP", [](TServerOppsettForm& d) { d.server->setText("via-esc"); },
        [](TServerOppsettForm& d) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(d.server, &esc);
        });
    EXPECT_EQ(Stored("RDP", "server"), "via-esc");
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ServerDialogTest, DoubleClickOnThePasswordTogglesItsMask)
{
    Edit("FTP", [](TServerOppsettForm& d) {
        d.passord->setText("abc");
        EXPECT_EQ(d.passord->echoMode(), QLineEdit::Password);
        EXPECT_EQ(d.passord->displayText(), "***");
        DoubleClick(d.passord);
        EXPECT_EQ(d.passord->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(d.passord->displayText(), "abc");
        DoubleClick(d.passord);
        EXPECT_EQ(d.passord->echoMode(), QLineEdit::Password);
        EXPECT_EQ(d.passord->displayText(), "***");
    });
    EXPECT_EQ(dialog.passord->toolTip(), QString::fromUtf8("Dobbelklikk for å skjule/vise passord i klartekst"));
}

TEST_F(ServerDialogTest, LayoutAsDesigned)
{
    EXPECT_EQ(dialog.size(), QSize(449, 283));
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Oppsett på server"));
    struct Row {
        QLineEdit* edit;
        QString caption;
        QRect place;  // left, top, width (height not checked)
    } rows[] = {
        {dialog.navn, "Navn:", {56, 48, 329, 0}},        {dialog.server, "Server:", {56, 104, 329, 0}},
        {dialog.mappe, "Mappe:", {56, 160, 329, 0}},     {dialog.brukernavn, "Brukernavn:", {56, 216, 97, 0}},
        {dialog.passord, "Passord:", {160, 216, 97, 0}}, {dialog.port, "Port:", {264, 216, 57, 0}},
    };
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    for (const Row& r : rows) {
        EXPECT_EQ(QRect(r.edit->x(), r.edit->y(), r.edit->width(), 0), r.place) << r.caption.toStdString();
        bool found = false;
        for (const QLabel* l : labels)
            found |= l->text() == r.caption && l->pos() == QPoint(r.place.x(), r.place.y() - 16);
        EXPECT_TRUE(found) << r.caption.toStdString();
    }
    EXPECT_EQ(dialog.SSLL->pos(), QPoint(336, 218));
    EXPECT_EQ(dialog.SSLL->text(), "SSL");
}

}  // namespace
