#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// Shared helpers of the test suite: where the sources and fixtures are, bounded waits that stretch
// on slow CI machines, and running the independent oracle tools (python3, openssl, sha256sum...).
namespace nimbrel::test {

// Multiplier for every time-out in tests: NIMBREL_TEST_TIME_FACTOR, else 3 under CI, else 1.
int timeFactor();
int scaled(int milliseconds);

// Polls `condition` while processing events, for at most `timeoutMs` (scaled).
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000);

QString sourceDir();
QString binaryDir();
QString fixturePath(const QString &relative);
// The test's own temporary root (HOME, XDG_* and TMPDIR live below it).
QString testRoot();
// Debian's python3, which has the oracle modules (cryptography, crcmod, h5py...).
QString python();

struct ProcessResult
{
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
};

ProcessResult runProcess(const QString &program, const QStringList &arguments,
                         const QByteArray &input = {}, int timeoutMs = 30000);

// Runs program with its file-size limit (RLIMIT_FSIZE) set to `bytes` through util-linux's
// prlimit, with SIGXFSZ ignored, so a write beyond the limit fails with EFBIG instead of ending
// the process. Only the child is limited. Tests run as root, where permissions cannot make a write
// fail; this can.
ProcessResult runWithFileSizeLimit(qint64 bytes, const QString &program,
                                   const QStringList &arguments, int timeoutMs = 30000);

// Runs a Python snippet with Debian's python3; the arguments become sys.argv[1:].
ProcessResult runPython(const QString &code, const QStringList &arguments = {},
                        const QByteArray &input = {});

} // namespace nimbrel::test
