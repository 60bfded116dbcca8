#include "SafeFileWrite.h"

#include <QIODevice>
#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

namespace platform {

namespace {

void setError(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
}

// A failed flush does not set the mark by which commit() refuses to rename; cancelling sets it, so
// commit() removes the temporary file instead.
void cancel(QSaveFile &file)
{
    file.cancelWriting();
    file.commit();
}

// Why a file write failed. Qt takes a short write (the disk filled up or a size limit was reached
// part way) for a failure without a reason; writing the rest once more fails with the reason.
QString failureReason(QIODevice &device)
{
    if (auto *file = qobject_cast<QFileDevice *>(&device); file && file->isOpen())
        file->flush();
    return device.errorString();
}

} // namespace

bool writeAll(QIODevice &device, QByteArrayView data, QString *error)
{
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 count = device.write(data.data() + written, data.size() - written);
        if (count <= 0) {
            setError(error, failureReason(device));
            return false;
        }
        written += count;
    }
    return true;
}

bool commitSaveFile(QSaveFile &file, QString *error)
{
    if (!file.isOpen()) {
        setError(error, QSaveFile::tr("File is not open"));
        return false;
    }
    // commit() closes (and so flushes) the file but only looks at errors of earlier writes: the
    // flush is done and checked here, while cancelling is still possible.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        setError(error, failureReason(file));
        cancel(file);
        return false;
    }
    // Some file systems report a failed write only when the data reach the disk.
    const int fd = file.handle();
    if (fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL) {
        setError(error, qt_error_string(errno));
        cancel(file);
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

void discardSaveFile(QSaveFile &file)
{
    if (file.isOpen())
        cancel(file);
}

bool writeFileAtomically(const QString &path, QByteArrayView content, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    if (!writeAll(file, content, error)) {
        discardSaveFile(file);
        return false;
    }
    return commitSaveFile(file, error);
}

} // namespace platform
