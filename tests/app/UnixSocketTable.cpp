#include "UnixSocketTable.h"

#include <QDir>
#include <QFile>

namespace nimbrel::test {

int listeningSocketsBelow(const QString &folder)
{
    // Columns: Num RefCount Protocol Flags Type St Inode [Path]; a listening socket carries
    // __SO_ACCEPTCON (0x10000) in Flags.
    constexpr uint acceptConnections = 0x10000;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QString prefix = QDir(folder).absolutePath() + QLatin1Char('/');
    int count = 0;
    table.readLine(); // header
    while (!table.atEnd()) {
        const QStringList fields
            = QString::fromLocal8Bit(table.readLine()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 8)
            continue; // unbound
        bool ok = false;
        const uint flags = fields[3].toUInt(&ok, 16);
        if (ok && (flags & acceptConnections) && fields[7].trimmed().startsWith(prefix))
            ++count;
    }
    return count;
}

} // namespace nimbrel::test
