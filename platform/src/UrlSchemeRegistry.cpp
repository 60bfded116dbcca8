#include "UrlSchemeRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace platform {

namespace {

// The entries of one group of a key file (desktop entry or mimeapps.list): the first occurrence
// of a key counts, as for xdg-mime. Keys are case-sensitive, MIME types included: GIO and
// xdg-mime ignore a key such as "X-Scheme-Handler/Nimbrel".
QHash<QString, QString> readGroup(const QString &path, QStringView group)
{
    QHash<QString, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line.endsWith(u']') && QStringView(line).mid(1, line.size() - 2) == group;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!entries.contains(key))
            entries.insert(key, line.mid(equals + 1).trimmed());
    }
    return entries;
}

// Undoes the escapes of a string value. An unknown escape is kept as written.
QString unescapeString(const QString &raw)
{
    QString value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            value += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            value += u' ';
            break;
        case 'n':
            value += u'\n';
            break;
        case 't':
            value += u'\t';
            break;
        case 'r':
            value += u'\r';
            break;
        case '\\':
            value += u'\\';
            break;
        default:
            value += c;
            value += next;
        }
    }
    return value;
}

QStringList listValue(const QString &raw)
{
    QStringList items;
    for (const QString &item : raw.split(u';')) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items.append(trimmed);
    }
    return items;
}

// A desktop-file id names an entry in an applications folder: "a-b.desktop" may be a-b.desktop
// or, for a vendor folder, a/b.desktop.
QString resolveIn(const QString &folder, const QString &id)
{
    const QString direct = folder + u'/' + id;
    if (QFileInfo(direct).isFile())
        return direct;
    for (qsizetype dash = id.indexOf(u'-'); dash > 0; dash = id.indexOf(u'-', dash + 1)) {
        const QString subFolder = folder + u'/' + id.left(dash);
        if (QFileInfo(subFolder).isDir()) {
            const QString found = resolveIn(subFolder, id.mid(dash + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

QStringList UrlSchemeRegistry::mimeAppsLists()
{
    QStringList prefixes;
    const QStringList desktops
        = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    for (const QString &desktop : desktops)
        prefixes.append(desktop.toLower() + u'-');
    prefixes.append(QString());

    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString &dataFolder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(dataFolder + QStringLiteral("/applications"));

    QStringList lists;
    for (const QString &folder : std::as_const(folders)) {
        for (const QString &prefix : std::as_const(prefixes))
            lists.append(folder + u'/' + prefix + QStringLiteral("mimeapps.list"));
    }
    return lists;
}

QString UrlSchemeRegistry::findDesktopEntry(const QString &desktopId)
{
    // An id is a file name: anything with a folder in it points outside the applications folders.
    if (!desktopId.endsWith(QStringLiteral(".desktop")) || desktopId.contains(u'/'))
        return {};
    for (const QString &dataFolder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString path = resolveIn(dataFolder + QStringLiteral("/applications"), desktopId);
        if (path.isEmpty())
            continue;
        // Hidden=true is left alone: GIO and xdg-mime still open links with such an entry.
        return path;
    }
    return {};
}

UrlSchemeHandler UrlSchemeRegistry::defaultHandler(const QString &scheme)
{
    UrlSchemeHandler handler;
    if (scheme.isEmpty())
        return handler;
    const QString mimeType = QStringLiteral("x-scheme-handler/") + scheme.toLower();
    for (const QString &list : mimeAppsLists()) {
        const auto defaults = readGroup(list, u"Default Applications");
        for (const QString &id : listValue(defaults.value(mimeType))) {
            const QString path = findDesktopEntry(id);
            if (path.isEmpty())
                continue;
            handler.desktopId = id;
            handler.entryPath = path;
            const auto entry = readGroup(path, u"Desktop Entry");
            const QStringList types
                = listValue(unescapeString(entry.value(QStringLiteral("MimeType"))));
            handler.installed = types.contains(mimeType, Qt::CaseInsensitive);
            handler.hasOpenCommand = entry.contains(QStringLiteral("Exec"));
            handler.openCommand = unescapeString(entry.value(QStringLiteral("Exec")));
            return handler;
        }
    }
    return handler;
}

QString UrlSchemeRegistry::quotedExecArgument(const QString &argument)
{
    QString quoted(u'"');
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case '"':
        case '`':
        case '$':
        case '\\':
            quoted += u'\\';
            quoted += c;
            break;
        case '%':
            quoted += QStringLiteral("%%");
            break;
        default:
            quoted += c;
        }
    }
    quoted += u'"';
    return quoted;
}

} // namespace platform
