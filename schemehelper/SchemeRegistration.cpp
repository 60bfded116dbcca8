#include "SchemeRegistration.h"

#include "KeyFileLines.h"
#include "SafeFileWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QByteArray desktopEntryGroup = QByteArrayLiteral("Desktop Entry");
const QByteArray defaultApplicationsGroup = QByteArrayLiteral("Default Applications");
const QByteArray addedAssociationsGroup = QByteArrayLiteral("Added Associations");

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

QByteArray mimeTypeOf(const QString &scheme)
{
    return "x-scheme-handler/" + scheme.toLower().toUtf8();
}

// Escapes for values of type string: a backslash, control characters and a leading blank would
// otherwise change meaning when the value is read back.
QByteArray escapeString(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? QByteArray("\\s") : QByteArray(" ");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One Exec argument in double quotes: inside them ", `, $ and \ take a backslash, and a percent
// sign is doubled so it is not read as a field code. Any path thus survives, blanks included.
QString quotedExecArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        else if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

QList<QByteArray> listItems(const std::optional<QByteArray> &value)
{
    QList<QByteArray> items;
    if (!value)
        return items;
    for (const QByteArray &item : value->split(';')) {
        const QByteArray trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items.append(trimmed);
    }
    return items;
}

QByteArray joinList(const QList<QByteArray> &items)
{
    QByteArray joined;
    for (const QByteArray &item : items)
        joined += item + ';';
    return joined;
}

QString applicationsFolder()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return dataHome.isEmpty() ? QString() : dataHome + QStringLiteral("/applications");
}

QString mimeAppsListPath()
{
    const QString configHome
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configHome.isEmpty() ? QString() : configHome + QStringLiteral("/mimeapps.list");
}

// Reads a file that may not exist yet. False only when it exists and cannot be read: editing it
// blindly would throw away what others wrote there.
bool readIfPresent(const QString &path, QByteArray *content)
{
    content->clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical("Could not read %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    *content = file.readAll();
    return true;
}

// Atomic replacement, so a reader never sees half a file and a failed write leaves the old one.
bool writeAtomically(const QString &path, const QByteArray &content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        qCritical("Could not create the folder %s", qPrintable(folder));
        return false;
    }
    QString error;
    if (!platform::writeFileAtomically(path, content, &error)) {
        qCritical("Could not write %s: %s", qPrintable(path), qPrintable(error));
        return false;
    }
    return true;
}

bool checkLocation(const QString &path, const char *what)
{
    if (path.isEmpty())
        qCritical("No location for the %s: neither the XDG folder nor HOME is set", what);
    return !path.isEmpty();
}

QByteArray desktopEntry(const QByteArray &existing, const QString &scheme,
                        const QString &application)
{
    KeyFileLines entry(existing);
    const auto set = [&entry](const char *key, const QByteArray &value) {
        entry.setValue(desktopEntryGroup, key, value, Qt::CaseSensitive,
                       KeyFileLines::NewGroupPlacement::AtStart);
    };
    QList<QByteArray> mimeTypes = listItems(entry.value(desktopEntryGroup, "MimeType"));
    const QByteArray mimeType = mimeTypeOf(scheme);
    const bool listed = std::any_of(mimeTypes.cbegin(), mimeTypes.cend(), [&](const QByteArray &t) {
        return t.compare(mimeType, Qt::CaseInsensitive) == 0;
    });
    if (!listed)
        mimeTypes.append(mimeType);

    set("Type", "Application");
    set("Name", escapeString(QStringLiteral("URL:%1 protocol").arg(scheme)));
    // The program is its own icon, as on the desktops that take icons from executables. Only an
    // absolute path can name an icon file; anything else would make the entry invalid.
    if (QFileInfo(application).isAbsolute())
        set("Icon", escapeString(application));
    else
        entry.removeKey(desktopEntryGroup, "Icon");
    set("Exec", escapeString(quotedExecArgument(application) + QStringLiteral(" --uri %u")));
    set("MimeType", joinList(mimeTypes));
    // A scheme handler is no menu item.
    set("NoDisplay", "true");
    return entry.toByteArray();
}

} // namespace

bool isValidUrlScheme(const QString &scheme)
{
    if (scheme.isEmpty() || !isAsciiLetter(scheme.front()))
        return false;
    return std::all_of(scheme.cbegin(), scheme.cend(), [](QChar c) {
        return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    });
}

QString schemeDesktopFileId(const QString &scheme)
{
    // Desktop-file ids follow the D-Bus name rules: "+" is not allowed and a "." would start a new
    // element that may begin with a digit. Both become "_" and their hexadecimal code; a scheme
    // has no "_" of its own, so different schemes keep different ids.
    QString id = QStringLiteral("nimbrel-scheme-");
    for (const QChar c : scheme.toLower()) {
        if (c == u'+')
            id += QStringLiteral("_2B");
        else if (c == u'.')
            id += QStringLiteral("_2E");
        else
            id += c;
    }
    return id + QStringLiteral(".desktop");
}

bool installUriScheme(const QString &scheme, const QString &application)
{
    if (!isValidUrlScheme(scheme))
        return false;
    const QString folder = applicationsFolder();
    const QString listPath = mimeAppsListPath();
    if (!checkLocation(folder, "desktop entry") || !checkLocation(listPath, "mimeapps.list"))
        return false;

    // The entry first: the default handler must never name an entry that is not there yet.
    const QString entryPath = folder + u'/' + schemeDesktopFileId(scheme);
    QByteArray existing;
    if (!readIfPresent(entryPath, &existing)
        || !writeAtomically(entryPath, desktopEntry(existing, scheme, application)))
        return false;

    QByteArray listContent;
    if (!readIfPresent(listPath, &listContent))
        return false;
    KeyFileLines list(listContent);
    const QByteArray mimeType = mimeTypeOf(scheme);
    const QByteArray id = schemeDesktopFileId(scheme).toUtf8();
    for (const QByteArray &group : { defaultApplicationsGroup, addedAssociationsGroup }) {
        // Ours goes first; handlers the user had chosen before stay behind it as fallbacks.
        QList<QByteArray> ids = listItems(list.value(group, mimeType, Qt::CaseInsensitive));
        ids.removeAll(id);
        ids.prepend(id);
        list.setValue(group, mimeType, joinList(ids), Qt::CaseInsensitive);
    }
    const QByteArray updated = list.toByteArray();
    return updated == listContent || writeAtomically(listPath, updated);
}

bool removeUriScheme(const QString &scheme)
{
    if (!isValidUrlScheme(scheme))
        return false;
    const QString folder = applicationsFolder();
    const QString listPath = mimeAppsListPath();
    if (!checkLocation(folder, "desktop entry") || !checkLocation(listPath, "mimeapps.list"))
        return false;

    // The association first, so no default ever names a removed entry.
    QByteArray listContent;
    if (!readIfPresent(listPath, &listContent))
        return false;
    if (!listContent.isEmpty()) {
        KeyFileLines list(listContent);
        const QByteArray mimeType = mimeTypeOf(scheme);
        const QByteArray id = schemeDesktopFileId(scheme).toUtf8();
        for (const QByteArray &group : { defaultApplicationsGroup, addedAssociationsGroup }) {
            QList<QByteArray> ids = listItems(list.value(group, mimeType, Qt::CaseInsensitive));
            if (ids.removeAll(id) == 0)
                continue;
            if (ids.isEmpty())
                list.removeKey(group, mimeType, Qt::CaseInsensitive);
            else
                list.setValue(group, mimeType, joinList(ids), Qt::CaseInsensitive);
        }
        const QByteArray updated = list.toByteArray();
        if (updated != listContent && !writeAtomically(listPath, updated))
            return false;
    }

    const QString entryPath = folder + u'/' + schemeDesktopFileId(scheme);
    QFile entry(entryPath);
    if (entry.exists() && !entry.remove()) {
        qCritical("Could not remove %s: %s", qPrintable(entryPath),
                  qPrintable(entry.errorString()));
        return false;
    }
    return true;
}
