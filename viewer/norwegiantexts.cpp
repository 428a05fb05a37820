#include "viewer/norwegiantexts.h"

#include <QHash>

namespace {

using Key = QPair<QByteArray, QByteArray>;   // context, source text

const QHash<Key, QString>& Texts()
{
    static const QHash<Key, QString> texts = {
        {{"QFileSystemModel", "Name"}, QStringLiteral("Navn")},
        {{"QFileSystemModel", "Size"}, QStringLiteral("Størrelse")},
        {{"QFileSystemModel", "Type"}, QStringLiteral("Type")},
        {{"QFileSystemModel", "Date Modified"}, QStringLiteral("Endret")},
        {{"QFileSystemModel", "Computer"}, QStringLiteral("Datamaskin")},
        {{"QFileSystemModel", "My Computer"}, QStringLiteral("Min datamaskin")},
        {{"QFileSystemModel", "%1 TB"}, QStringLiteral("%1 TB")},
        {{"QFileSystemModel", "%1 GB"}, QStringLiteral("%1 GB")},
        {{"QFileSystemModel", "%1 MB"}, QStringLiteral("%1 MB")},
        {{"QFileSystemModel", "%1 KB"}, QStringLiteral("%1 kB")},
        {{"QFileSystemModel", "%1 bytes"}, QStringLiteral("%1 byte")},
        {{"QFileDialog", "Back"}, QStringLiteral("Tilbake")},
        {{"QFileDialog", "Forward"}, QStringLiteral("Fremover")},
        {{"QFileDialog", "Parent Directory"}, QStringLiteral("Overordnet mappe")},
        {{"QFileDialog", "Create New Folder"}, QStringLiteral("Ny mappe")},
        {{"QFileDialog", "List View"}, QStringLiteral("Liste")},
        {{"QFileDialog", "Detail View"}, QStringLiteral("Detaljer")},
        {{"QFileDialog", "Sidebar"}, QStringLiteral("Sidepanel")},
        {{"QFileDialog", "Files"}, QStringLiteral("Filer")},
        {{"QFileDialog", "File"}, QStringLiteral("Fil")},
        {{"QFileDialog", "Folder"}, QStringLiteral("Mappe")},
        {{"QFileDialog", "Directory"}, QStringLiteral("Mappe")},
        {{"QFileDialog", "Directories"}, QStringLiteral("Mapper")},
        {{"QFileDialog", "New Folder"}, QStringLiteral("Ny mappe")},
        {{"QFileDialog", "&New Folder"}, QStringLiteral("&Ny mappe")},
        {{"QFileDialog", "&Rename"}, QStringLiteral("&Gi nytt navn")},
        {{"QFileDialog", "&Delete"}, QStringLiteral("&Slett")},
        {{"QFileDialog", "Show &hidden files"}, QStringLiteral("Vis &skjulte filer")},
        {{"QFileDialog", "Recent Places"}, QStringLiteral("Nylig brukte steder")},
        {{"QFileDialog", "Look in:"}, QStringLiteral("Søk i:")},
        {{"QFileDialog", "File &name:"}, QStringLiteral("Fil&navn:")},
        {{"QFileDialog", "Files of type:"}, QStringLiteral("Filtype:")},
        {{"QFileDialog", "&Open"}, QStringLiteral("&Åpne")},
        {{"QFileDialog", "&Choose"}, QStringLiteral("&Velg")},
        {{"QFileDialog", "Open"}, QStringLiteral("Åpne")},
        {{"QFileDialog", "Delete"}, QStringLiteral("Slett")},
        {{"QFileDialog", "Are you sure you want to delete '%1'?"},
         QStringLiteral("Er du sikker på at du vil slette «%1»?")},
        {{"QFileDialog", "Could not delete directory."}, QStringLiteral("Mappen kunne ikke slettes.")},
        {{"QFileDialog", "'%1' is write protected.\nDo you want to delete it anyway?"},
         QStringLiteral("«%1» er skrivebeskyttet.\nVil du slette den likevel?")},
        {{"QFileDialog", "%1\nFile not found.\nPlease verify the correct file name was given."},
         QStringLiteral("%1\nFinner ikke filen.\nKontroller at filnavnet er riktig.")},
        {{"QFileDialog", "%1\nDirectory not found.\nPlease verify the correct directory name was given."},
         QStringLiteral("%1\nFinner ikke mappen.\nKontroller at mappenavnet er riktig.")},
        {{"QFileDialog", "All Files (*)"}, QStringLiteral("Alle filer (*)")},
        {{"QPlatformTheme", "OK"}, QStringLiteral("OK")},
        {{"QPlatformTheme", "Cancel"}, QStringLiteral("Avbryt")},
        {{"QPlatformTheme", "&Yes"}, QStringLiteral("&Ja")},
        {{"QPlatformTheme", "&No"}, QStringLiteral("&Nei")},
        {{"QPlatformTheme", "Close"}, QStringLiteral("Lukk")},
        {{"QPlatformTheme", "Open"}, QStringLiteral("Åpne")},
        {{"QPlatformTheme", "Save"}, QStringLiteral("Lagre")},
    };
    return texts;
}

}  // namespace

QString NorwegianTexts::translate(const char* context, const char* sourceText, const char*, int) const
{
    const auto it = Texts().constFind(Key(QByteArray(context), QByteArray(sourceText)));
    return it == Texts().constEnd() ? QString() : it.value();
}
