#pragma once

#include <QString>

// Moving a file to the desktop's trash (on Linux the freedesktop.org trash that QFile::moveToTrash
// writes). An interface so that the code which deletes the user's files can be given another
// one, say one that refuses, without touching the real trash.
namespace platform {

class Trash
{
public:
    virtual ~Trash();
    // True when the file is gone from `path`; otherwise the reason goes to *error.
    virtual bool moveToTrash(const QString &path, QString *error) = 0;

    // The system's trash; lives as long as the process. Any thread.
    static Trash *system();
};

} // namespace platform
