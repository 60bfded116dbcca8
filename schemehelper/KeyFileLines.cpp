#include "KeyFileLines.h"

namespace {

// A key-file entry: the key is what precedes the first "=", blanks around it do not count.
std::optional<std::pair<QByteArray, QByteArray>> splitEntry(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#') || trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    QByteArray value = line.mid(equals + 1);
    while (!value.isEmpty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove(0, 1);
    return std::make_pair(line.left(equals).trimmed(), value);
}

bool sameKey(const QByteArray &a, const QByteArray &b, Qt::CaseSensitivity keyCase)
{
    return keyCase == Qt::CaseSensitive ? a == b : a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

KeyFileLines::KeyFileLines(const QByteArray &content)
{
    if (content.isEmpty())
        return;
    QList<QByteArray> parts = content.split('\n');
    m_endsWithNewline = content.endsWith('\n');
    if (m_endsWithNewline)
        parts.removeLast();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        Line line{ parts.at(i) };
        const bool terminated = i + 1 < parts.size() || m_endsWithNewline;
        if (terminated && line.text.endsWith('\r')) {
            line.text.chop(1);
            line.crlf = true;
        }
        m_lines.append(line);
    }
    // An unterminated last line gets the file's own line ending should an entry follow it.
    if (!m_endsWithNewline && m_lines.size() > 1)
        m_lines.last().crlf = m_lines.constFirst().crlf;
}

QByteArray KeyFileLines::toByteArray() const
{
    QByteArray out;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        out += m_lines.at(i).text;
        if (i + 1 < m_lines.size() || m_endsWithNewline)
            out += m_lines.at(i).crlf ? "\r\n" : "\n";
    }
    return out;
}

std::optional<QByteArray> KeyFileLines::headerName(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith('[') && trimmed.endsWith(']'))
        return trimmed.mid(1, trimmed.size() - 2);
    return std::nullopt;
}

QList<QByteArray> KeyFileLines::groupsOfLines() const
{
    QList<QByteArray> groups;
    groups.reserve(m_lines.size());
    QByteArray current;
    for (const Line &line : m_lines) {
        if (const auto name = headerName(line.text))
            current = *name;
        groups.append(current);
    }
    return groups;
}

bool KeyFileLines::isEntry(qsizetype index, const QByteArray &key,
                           Qt::CaseSensitivity keyCase) const
{
    const auto entry = splitEntry(m_lines.at(index).text);
    return entry && sameKey(entry->first, key, keyCase);
}

bool KeyFileLines::hasGroup(const QByteArray &group) const
{
    for (const Line &line : m_lines) {
        if (headerName(line.text) == group)
            return true;
    }
    return false;
}

std::optional<QByteArray> KeyFileLines::value(const QByteArray &group, const QByteArray &key,
                                              Qt::CaseSensitivity keyCase) const
{
    const QList<QByteArray> groups = groupsOfLines();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (groups.at(i) == group && isEntry(i, key, keyCase))
            return splitEntry(m_lines.at(i).text)->second;
    }
    return std::nullopt;
}

void KeyFileLines::setValue(const QByteArray &group, const QByteArray &key, const QByteArray &value,
                            Qt::CaseSensitivity keyCase, NewGroupPlacement placement)
{
    const QByteArray entryText = key + '=' + value;
    // New lines follow the file's own line endings.
    const bool crlf = !m_lines.isEmpty() && m_lines.constFirst().crlf;

    const QList<QByteArray> groups = groupsOfLines();
    qsizetype replaced = -1;
    qsizetype header = -1;
    qsizetype lastContent = -1; // last header or entry line of the group's first occurrence
    bool inFirstOccurrence = false;
    QList<qsizetype> duplicates;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const bool isHeader = headerName(m_lines.at(i).text).has_value();
        if (isHeader)
            inFirstOccurrence = groups.at(i) == group && header < 0;
        if (groups.at(i) != group)
            continue;
        if (isHeader && header < 0)
            header = i;
        if (inFirstOccurrence && (isHeader || splitEntry(m_lines.at(i).text)))
            lastContent = i;
        if (isEntry(i, key, keyCase)) {
            if (replaced < 0)
                replaced = i;
            else
                duplicates.append(i);
        }
    }

    if (replaced >= 0) {
        m_lines[replaced].text = entryText;
        for (qsizetype d = duplicates.size() - 1; d >= 0; --d)
            m_lines.removeAt(duplicates.at(d));
        return;
    }
    if (header >= 0) {
        m_lines.insert(lastContent + 1, Line{ entryText, crlf });
        if (lastContent + 2 == m_lines.size())
            m_endsWithNewline = true;
        return;
    }

    const QList<Line> newGroup{ Line{ '[' + group + ']', crlf }, Line{ entryText, crlf } };
    if (placement == NewGroupPlacement::AtStart) {
        QList<Line> lines = newGroup;
        if (!m_lines.isEmpty())
            lines.append(Line{ QByteArray(), crlf });
        m_lines = lines + m_lines;
        return;
    }
    if (!m_lines.isEmpty() && !m_lines.constLast().text.trimmed().isEmpty())
        m_lines.append(Line{ QByteArray(), crlf });
    m_lines.append(newGroup);
    // A file without a final line break gets one, so the entry added above is complete.
    m_endsWithNewline = true;
}

bool KeyFileLines::removeKey(const QByteArray &group, const QByteArray &key,
                             Qt::CaseSensitivity keyCase)
{
    const QList<QByteArray> groups = groupsOfLines();
    bool removed = false;
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
        if (groups.at(i) == group && isEntry(i, key, keyCase)) {
            m_lines.removeAt(i);
            removed = true;
        }
    }
    return removed;
}
