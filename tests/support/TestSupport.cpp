#include "TestSupport.h"

#include <QDir>
#include <QTest>

namespace nimbrel::test {

int timeFactor()
{
    bool ok = false;
    const int factor = qEnvironmentVariableIntValue("NIMBREL_TEST_TIME_FACTOR", &ok);
    if (ok && factor > 0)
        return factor;
    return qEnvironmentVariableIsSet("CI") ? 3 : 1;
}

int scaled(int milliseconds)
{
    return milliseconds * timeFactor();
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, scaled(timeoutMs));
}

QString sourceDir()
{
    return qEnvironmentVariable("NIMBREL_SOURCE_DIR");
}

QString binaryDir()
{
    return qEnvironmentVariable("NIMBREL_BINARY_DIR");
}

QString fixturePath(const QString &relative)
{
    return QDir(sourceDir()).filePath(QStringLiteral("tests/fixtures/") + relative);
}

QString testRoot()
{
    const QString root = qEnvironmentVariable("NIMBREL_TEST_ROOT");
    return root.isEmpty() ? QDir::tempPath() : root;
}

QString python()
{
    const QString configured = qEnvironmentVariable("NIMBREL_PYTHON");
    return configured.isEmpty() ? QStringLiteral("/usr/bin/python3") : configured;
}

ProcessResult runProcess(const QString &program, const QStringList &arguments,
                         const QByteArray &input, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.start(program, arguments);
    result.started = process.waitForStarted(scaled(10000));
    if (!result.started)
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(scaled(timeoutMs));
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ProcessResult runWithFileSizeLimit(qint64 bytes, const QString &program,
                                   const QStringList &arguments, int timeoutMs)
{
    // An ignored signal stays ignored across exec, so the shell's trap reaches the program.
    const QString script = QStringLiteral("trap '' XFSZ; exec prlimit --fsize=\"$0\" -- \"$@\"");
    return runProcess(QStringLiteral("/bin/sh"),
                      QStringList{ QStringLiteral("-c"), script, QString::number(bytes), program }
                          + arguments,
                      {}, timeoutMs);
}

ProcessResult runPython(const QString &code, const QStringList &arguments, const QByteArray &input)
{
    return runProcess(python(), QStringList{QStringLiteral("-c"), code} + arguments, input);
}

} // namespace nimbrel::test
