#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// An editor for files in the desktop key-file syntax (desktop entries, mimeapps.list) that changes
// only the entries it is asked to change: every other line, comment, group and line ending stays
// byte for byte, so registering a scheme never disturbs what other programs or the user wrote.
// Values are raw: escaping is the caller's business.
class KeyFileLines
{
public:
    enum class NewGroupPlacement { AtStart, AtEnd };

    explicit KeyFileLines(const QByteArray &content = {});

    QByteArray toByteArray() const;

    bool hasGroup(const QByteArray &group) const;

    // The raw value of the first entry named `key` in `group`.
    std::optional<QByteArray> value(const QByteArray &group, const QByteArray &key,
                                    Qt::CaseSensitivity keyCase = Qt::CaseSensitive) const;

    // Replaces the first entry named `key` in `group` and drops later duplicates of it (a key-file
    // reader would otherwise pick one of them arbitrarily); appends the entry to the group when it
    // is missing, and the group itself when that is missing.
    void setValue(const QByteArray &group, const QByteArray &key, const QByteArray &value,
                  Qt::CaseSensitivity keyCase = Qt::CaseSensitive,
                  NewGroupPlacement placement = NewGroupPlacement::AtEnd);

    // Removes every entry named `key` in `group`; returns whether anything was removed.
    bool removeKey(const QByteArray &group, const QByteArray &key,
                   Qt::CaseSensitivity keyCase = Qt::CaseSensitive);

private:
    struct Line
    {
        QByteArray text; // without the line break
        bool crlf = false;
    };

    // Group of each line (the header line belongs to its own group); empty before the first header.
    QList<QByteArray> groupsOfLines() const;
    bool isEntry(qsizetype index, const QByteArray &key, Qt::CaseSensitivity keyCase) const;
    static std::optional<QByteArray> headerName(const QByteArray &line);

    QList<Line> m_lines;
    bool m_endsWithNewline = true;
};
