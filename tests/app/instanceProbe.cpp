// Takes part in the single-instance election the way the program does, so that tests can start
// many at the same moment and hand over URIs too large for a command line.
//
//   instanceProbe [--go] (--uri <text> | --uri-file <path>)
//
// Prints "ready"; with --go it then waits for a line on standard input before the election, so
// that every probe of a round elects at once. Prints "first" or "second".
// First: delivers its own URI to itself, prints "got <url>" for every URL that reaches it and runs
// until standard input ends. Second: hands its URI over and exits with 0 when it was delivered,
// 1 when not.

#include "UriHandler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <iostream>
#include <string>

#include <unistd.h>

namespace {
void say(const QString &line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption go(QStringLiteral("go"), QStringLiteral("Wait for a line first"));
    const QCommandLineOption uri(QStringLiteral("uri"), QStringLiteral("URI"),
                                 QStringLiteral("text"));
    const QCommandLineOption uriFile(QStringLiteral("uri-file"), QStringLiteral("URI from a file"),
                                     QStringLiteral("path"));
    parser.addOptions({go, uri, uriFile});
    parser.process(application);

    QString text = parser.value(uri);
    if (parser.isSet(uriFile)) {
        QFile file(parser.value(uriFile));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        text = QString::fromLatin1(file.readAll());
    }

    say(QStringLiteral("ready"));
    if (parser.isSet(go)) {
        std::string line;
        std::getline(std::cin, line);
    }

    UriHandler handler(QStringLiteral("nimbrel"));
    if (!handler.isFirstInstance()) {
        say(QStringLiteral("second"));
        return handler.handleUri(text) ? 0 : 1;
    }

    say(QStringLiteral("first"));
    QObject::connect(&handler, &UriHandler::appCalled,
                     [](const QUrl &url) { say(QStringLiteral("got ") + url.toString()); });
    handler.handleUri(text);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
