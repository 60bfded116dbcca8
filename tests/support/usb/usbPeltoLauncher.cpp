// usb-pelto: runs a program with a simulated Pelto plugged in over USB (see UsbPeltoLauncher.h and
// docs/testing-usb.md).
#include "UsbPeltoLauncher.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

using nimbrel::test::UsbPeltoLauncher;

int main(int argc, char *argv[])
{
    // What follows "--" is the program and its arguments, untouched by the option parser.
    int separator = 1;
    while (separator < argc && std::strcmp(argv[separator], "--") != 0)
        ++separator;

    int applicationArgc = separator;
    QCoreApplication application(applicationArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("usb-pelto"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs PROGRAM with a simulated Pelto (pelto-sim) plugged in over USB.\n"
                       "Run it under umockdev-wrapper. Commands on standard input: unplug, plug, "
                       "quit."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("-- PROGRAM [ARGUMENTS...]"),
                                 QStringLiteral("The program to start."));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Serial of the simulated device."),
                                          QStringLiteral("serial"), QStringLiteral("PLT-USB-0001"));
    const QCommandLineOption simSocketOption(
        QStringLiteral("sim-socket"),
        QStringLiteral("Use a pelto-sim already listening with --usb-socket PATH."),
        QStringLiteral("path"));
    const QCommandLineOption simArgOption(
        QStringLiteral("sim-arg"),
        QStringLiteral("One more argument for the pelto-sim started here (repeatable)."),
        QStringLiteral("argument"));
    const QCommandLineOption filesOption(
        QStringLiteral("files"),
        QStringLiteral("Folder the simulated Pelto serves as its file system (its logs in "
                       "log/); without it, an empty temporary folder."),
        QStringLiteral("folder"));
    const QCommandLineOption simOption(
        QStringLiteral("sim"), QStringLiteral("pelto_sim.py to start."), QStringLiteral("path"),
        QStringLiteral(NIMBREL_PELTO_SIM_SCRIPT));
    parser.addOptions({ serialOption, simSocketOption, filesOption, simArgOption, simOption });
    parser.process(application);
    if (separator + 1 >= argc) {
        std::fprintf(stderr, "usb-pelto: no program given after --\n");
        return 2;
    }

    UsbPeltoLauncher::Options options;
    options.serial = parser.value(serialOption);
    options.simSocket = parser.value(simSocketOption);
    if (parser.isSet(filesOption)) {
        if (parser.isSet(simSocketOption)) {
            std::fprintf(stderr,
                         "usb-pelto: --files is for the pelto-sim started here; give it "
                         "to the one listening on --sim-socket\n");
            return 2;
        }
        options.simArguments << QStringLiteral("--files") << parser.value(filesOption);
    }
    options.simArguments << parser.values(simArgOption);
    options.simScript = parser.value(simOption);
    options.program = QString::fromLocal8Bit(argv[separator + 1]);
    for (int i = separator + 2; i < argc; ++i)
        options.programArguments << QString::fromLocal8Bit(argv[i]);

    UsbPeltoLauncher launcher(options);
    launcher.catchSignals();
    if (!launcher.start())
        return 1;
    QCoreApplication::exec();
    return launcher.exitCode();
}
