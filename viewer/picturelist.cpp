#include "viewer/picturelist.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

bool MatchesJpegPattern(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    return QStringView(name).mid(dot + 1).startsWith(QLatin1String("jp"), Qt::CaseInsensitive);
}

namespace {

// NTFS compares names by their code units after its upper-case table, which maps one code unit
// to one code unit (no ß to SS).
QString NtfsKey(const QString& name)
{
    QString key = name;
    for (QChar& c : key)
        c = c.toUpper();
    return key;
}

}  // namespace

bool NtfsNameLess(const QString& a, const QString& b)
{
    const QString ka = NtfsKey(a);
    const QString kb = NtfsKey(b);
    if (ka != kb)
        return ka < kb;
    return a < b;
}

QStringList MatchingPictureNames(const QString& folder)
{
    QDir dir(folder.isEmpty() ? QDir::currentPath() : folder);
    const QFileInfoList infos =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    QStringList names;
    for (const QFileInfo& info : infos) {
        if (info.isDir())
            continue;
        if (MatchesJpegPattern(info.fileName()))
            names.append(info.fileName());
    }
    std::sort(names.begin(), names.end(), NtfsNameLess);
    return names;
}

void PictureList::LastListen(const QString& folder, const QString& dialogFileName)
{
    entries.clear();
    current = -1;
    // A folder text typed into the settings without its closing separator still names the
    // folder that was searched, so the entries get the separator the search put in.
    const QString prefix =
        folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString& name : MatchingPictureNames(folder))
        entries.append(prefix + name);
    if (entries.isEmpty())
        return;
    current = 0;
    for (int i = 0; i < entries.size(); ++i)
        if (entries.at(i) == dialogFileName)
            current = i;
}

QString PictureList::Step()
{
    if (current < 0)
        return {};
    current = current + 1 == entries.size() ? 0 : current + 1;
    return entries.at(current);
}

QString PictureList::Next() const
{
    if (current < 0)
        return {};
    return entries.at(current + 1 == entries.size() ? 0 : current + 1);
}
