#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;
class QSaveFile;

// All-or-nothing file replacement. Every write that must either replace a file whole or leave it
// byte for byte goes through these, never through QSaveFile::commit() alone: Qt 6.4's commit()
// renames the temporary file over the target even when its final flush failed (a full disk, a
// file-size limit), which leaves a cut-off file where the complete old one was.
//
// Free functions without state; any thread, one thread per file at a time.
namespace platform {

// Writes all of data, checking every write: a short write is continued, a failed one ends it and
// its reason goes to *error. (A QSaveFile remembers a failed write and refuses to commit; it is
// only the final flush that it does not check.)
bool writeAll(QIODevice &device, QByteArrayView data, QString *error = nullptr);

// Replaces the target of an open QSaveFile with what was written, but only when every write, the
// final flush, the file's error state and the sync to disk were clean. Otherwise cancels: the
// target keeps its previous content (or stays absent), the temporary file is removed and the
// reason goes to *error. The file is closed either way.
bool commitSaveFile(QSaveFile &file, QString *error = nullptr);

// Throws away what was written to an open QSaveFile; its target and folder stay as they were.
void discardSaveFile(QSaveFile &file);

// Replaces path with content in one step; the folder must exist. On failure path is unchanged
// and the reason goes to *error.
bool writeFileAtomically(const QString &path, QByteArrayView content, QString *error = nullptr);

} // namespace platform
