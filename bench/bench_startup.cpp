// Start-up: time from starting the process to the first frame of its window, for the program
// (home screen) and two baselines measured in the same run: a plain Qt Quick window and an empty
// Material ApplicationWindow. Runs are interleaved; each program's median counts.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds from start to the "first-frame" line, or -1.
double timeToFirstFrame(const QString &program, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    double elapsed = -1;
    QByteArray out;
    while (timer.elapsed() < 30000) {
        if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
            break;
        out += process.readAllStandardOutput();
        if (out.contains("first-frame")) {
            elapsed = double(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    process.kill();
    process.waitForFinished(5000);
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A home of its own: the program's folders, settings and scheme registration stay there.
    for (const char *name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                              "XDG_RUNTIME_DIR" }) {
        const QString folder = root.path() + "/" + QString::fromLatin1(name);
        QDir().mkpath(folder);
        environment.insert(QString::fromLatin1(name), folder);
    }
    if (!environment.contains(QStringLiteral("DISPLAY"))
        && !environment.contains(QStringLiteral("WAYLAND_DISPLAY")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("NIMBREL_REPORT_FIRST_FRAME"), QStringLiteral("1"));

    // Usage: bench_startup [rounds] [other build of the program...]; another build (say, one made
    // before a change) runs interleaved with the rest, so both see the same load.
    QStringList programs{ QStringLiteral(NIMBREL_STARTUP_PLAIN),
                          QStringLiteral(NIMBREL_STARTUP_MATERIAL),
                          QStringLiteral(NIMBREL_STARTUP_APP) };
    for (int i = 2; i < argc; ++i)
        programs << QString::fromLocal8Bit(argv[i]);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    std::vector<std::vector<double>> times(programs.size());
    // One start each first: the file cache and the program's first-start work.
    for (const QString &program : programs)
        timeToFirstFrame(program, environment);
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < programs.size(); ++i) {
            const double ms = timeToFirstFrame(programs[i], environment);
            if (ms < 0) {
                std::fprintf(stderr, "no first frame from %s\n", qPrintable(programs[i]));
                return 1;
            }
            times[i].push_back(ms);
        }
    }
    const double plain = median(times[0]);
    const double material = median(times[1]);
    const double program = median(times[2]);
    std::printf("start to first frame, median of %d runs\n", rounds);
    std::printf("  plain Qt Quick window        %8.1f ms\n", plain);
    std::printf("  empty Material window        %8.1f ms\n", material);
    std::printf("  Nimbrel Lab home screen      %8.1f ms\n", program);
    std::printf("  Material window / plain      %8.2fx\n", material / plain);
    std::printf("  Nimbrel Lab / plain          %8.2fx\n", program / plain);
    std::printf("  Nimbrel Lab / Material       %8.2fx (goal: at most 1.15x)\n",
                program / material);
    for (int i = 3; i < programs.size(); ++i) {
        const double other = median(times[i]);
        std::printf("  %s\n    %8.1f ms, %.2fx plain, %.2fx Material\n", qPrintable(programs[i]),
                    other, other / plain, other / material);
    }
    // The spread of each program's runs, in the order given.
    for (int i = 0; i < programs.size(); ++i) {
        const auto [low, high] = std::minmax_element(times[i].begin(), times[i].end());
        std::printf("  min / median / max %8.1f %8.1f %8.1f ms  %s\n", *low, median(times[i]),
                    *high, qPrintable(QFileInfo(programs[i]).fileName()));
    }
    return 0;
}
