#include "SchemeRegistration.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>

#include <csignal>
#include <cstdio>

namespace {

// Exit codes: 0 done (or help for an incomplete command), 1 wrong command line, 2 the
// registration could not be written.
constexpr int exitUsage = 1;
constexpr int exitFailed = 2;

void printHelp(const QCommandLineParser &parser)
{
    std::fputs(qPrintable(parser.helpText()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit the kernel's default is to kill the writer, which would leave a
    // temporary file behind and report nothing; ignored, the write fails with EFBIG instead and
    // takes the ordinary failure path (old file kept, status 2, a message).
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption commandOption(
        QStringLiteral("command"), QStringLiteral("Command to execute"), QStringLiteral("command"));
    const QCommandLineOption schemeOption(QStringLiteral("scheme"), QString(),
                                          QStringLiteral("scheme"));
    const QCommandLineOption applicationOption(QStringLiteral("application"), QString(),
                                               QStringLiteral("application"));
    parser.addOption(commandOption);
    parser.addOption(schemeOption);
    parser.addOption(applicationOption);
    // Ends the process with the parser's message and status 1 on an unknown option or a
    // missing value.
    parser.process(app);

    if (!parser.isSet(commandOption)) {
        printHelp(parser);
        return exitUsage;
    }

    const QString command = parser.value(commandOption);
    const bool install = command == QLatin1String("installscheme") && parser.isSet(schemeOption)
        && parser.isSet(applicationOption);
    const bool remove
        = !install && command == QLatin1String("removescheme") && parser.isSet(schemeOption);
    if (!install && !remove) {
        printHelp(parser);
        return 0;
    }

    // An empty or malformed scheme names no registration; acting on it could only touch files
    // that belong to something else.
    const QString scheme = parser.value(schemeOption);
    if (!isValidUrlScheme(scheme)) {
        qCritical() << "Not a valid URL scheme:" << scheme;
        printHelp(parser);
        return exitUsage;
    }

    if (install) {
        qInfo() << "Installing scheme " << scheme;
        const QString application = QDir::toNativeSeparators(parser.value(applicationOption));
        return installUriScheme(scheme, application) ? 0 : exitFailed;
    }
    qInfo() << "Removing scheme " << scheme;
    return removeUriScheme(scheme) ? 0 : exitFailed;
}
