#pragma once

#include <QString>

namespace nimbrel::test {

// Listening AF_UNIX stream sockets bound below `folder`, as the kernel lists them in
// /proc/net/unix: an oracle that shares nothing with Qt's local server.
//
// QLocalServer binds in a temporary folder beside its name and then renames the socket file to
// the name; the kernel keeps the path it was bound to. Counting the folder therefore counts every
// listener, including one whose name another process has since taken over.
int listeningSocketsBelow(const QString &folder);

} // namespace nimbrel::test
