// Qt's own dialogs speak Bokmål once the catalogue is installed the way the program installs it:
// the print set-up with its page set-up, the open dialog, message-box buttons. A few labels of
// each are checked, and the English they replace is gone.
#include "testenv.h"
#include "viewer/openpicturedialog.h"
#include "viewer/qtbokmal.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTreeView>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

// Every text a dialog shows in its labels, buttons, group titles, tabs, lists and tool tips.
QStringList TextsOf(const QWidget& dialog)
{
    QStringList texts{dialog.windowTitle()};
    for (const QLabel* w : dialog.findChildren<QLabel*>())
        texts << w->text();
    for (const QAbstractButton* w : dialog.findChildren<QAbstractButton*>())
        texts << w->text() << w->toolTip();
    for (const QGroupBox* w : dialog.findChildren<QGroupBox*>())
        texts << w->title();
    for (const QTabWidget* w : dialog.findChildren<QTabWidget*>())
        for (int i = 0; i < w->count(); ++i)
            texts << w->tabText(i);
    for (const QComboBox* w : dialog.findChildren<QComboBox*>())
        for (int i = 0; i < w->count(); ++i)
            texts << w->itemText(i);
    texts.removeAll(QString());
    return texts;
}

class QtBokmal : public ::testing::Test {
protected:
    void SetUp() override
    {
        translator = InstallQtBokmal();
        ASSERT_NE(translator, nullptr);
    }
    void TearDown() override
    {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }

    // Expects every one of want among the texts and none of the English ones.
    static void Expect(const QStringList& texts, const QStringList& want, const QStringList& english)
    {
        for (const QString& w : want)
            EXPECT_TRUE(texts.contains(w)) << "missing " << w.toStdString() << " in: " << texts.join(" | ").toStdString();
        for (const QString& e : english)
            EXPECT_FALSE(texts.contains(e)) << "English left: " << e.toStdString();
    }

    TestEnv env;
    QTranslator* translator = nullptr;
};

TEST_F(QtBokmal, PrintSetUpDialog)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer);
    Expect(TextsOf(dialog),
           {"Skriv ut", "Skriver", "&Navn:", "&Egenskaper", "Utskriftsområde", "Eksemplarer:", "Sorter",
            "Alle sider", "&Skriv ut", "Avbryt", "&Valg >>"},
           {"Print", "Printer", "&Name:", "P&roperties", "Print range", "Copies:", "Collate", "All Pages", "&Print",
            "Cancel", "&Options >>"});
}

TEST_F(QtBokmal, PageSetUp)
{
    QPrinter printer(QPrinter::HighResolution);
    QPageSetupDialog dialog(&printer);
    Expect(TextsOf(dialog),
           {"Papir", "Papirstørrelse:", "Retning", "Stående", "Liggende", "Marger", "Millimeter (mm)", "OK",
            "Avbryt"},
           {"Paper", "Page size:", "Orientation", "Portrait", "Landscape", "Margins", "Millimeters (mm)", "Cancel"});
}

TEST_F(QtBokmal, MessageBoxButtons)
{
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No |
                           QMessageBox::Close);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Avbryt");
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Ja");
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Nei");
    EXPECT_EQ(box.button(QMessageBox::Close)->text(), "Lukk");
}

// The open dialog: its buttons and column heads, a folder's type, and columns wide enough for
// what they hold.
TEST_F(QtBokmal, OpenDialog)
{
    const QString folder = env.path("bilder/");
    ASSERT_TRUE(QDir().mkpath(folder + "ferie"));
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(folder + "et bilde med et langt navn.jpg", "JPEG", 95));

    OpenPictureDialog dialog;
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto* view = dialog.findChild<QTreeView*>("treeView");
    ASSERT_NE(model, nullptr);
    ASSERT_NE(view, nullptr);
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, [&] { loaded = true; });
    dialog.setDirectory(folder);
    dialog.show();
    QElapsedTimer clock;
    clock.start();
    while (!loaded && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(loaded);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    Expect(TextsOf(dialog), {"Tilbake", "Fremover", "Overordnet mappe", "Ny mappe", "Liste", "Detaljer"},
           {"Back", "Forward", "Parent Directory", "Create New Folder", "List View", "Detail View"});
    const QStringList heads = {"Navn", "Størrelse", "Type", "Endret"};
    for (int i = 0; i < heads.size(); ++i)
        EXPECT_EQ(model->headerData(i, Qt::Horizontal).toString(), heads[i]);
    const QModelIndex sub = model->index(folder + "ferie", 2);
    EXPECT_EQ(model->data(sub).toString(), "Mappe");

    // Size, type and date are shown whole: each column at least as wide as its widest text.
    for (int column = 1; column <= 3; ++column) {
        SCOPED_TRACE(heads[column].toStdString());
        EXPECT_FALSE(view->isColumnHidden(column));
        EXPECT_GE(view->columnWidth(column), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column));
        EXPECT_GE(view->columnWidth(column), view->header()->sectionSizeHint(column));
    }
}

}  // namespace
