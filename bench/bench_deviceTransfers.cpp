#include "Crc32.h"
#include "FileControlChannel.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "SoftwareUpdate.h"
#include "WifiPeltoHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

// Transfers against pelto-sim on loopback, with baselines measured in the same run:
//  (a) a 10 MiB download over the file-control channel on the Wi-Fi link (TLS stream), against the
//      same bytes pushed raw over TLS on loopback by Python's ssl module (the simulator's own TLS
//      stack) into a QSslSocket of this process. Wall-clock MiB/s for both, and this process's CPU
//      seconds (user + system, every thread) per MB.
//  (b) a 1 MiB image uploaded through the software-update channel: time per chunk round trip
//      (chunk out, the device's "ready" back), and the CRC pass over the image as the service makes
//      it (pieces of 1018 bytes) in MiB/s against memcpy of the same bytes.
// The simulator is one Python process doing its own TLS, framing and file reads, so the figures
// are what the program reaches against it, not against a device.
//
// Built when the tests are configured as well (it needs the test-support library):
//   cmake -S . -B build/bench-up -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_BUILD_TESTS=ON
//         -DNIMBREL_BUILD_BENCH=ON
//   cmake --build build/bench-up --target bench_deviceTransfers
//   build/bench-up/bench/bench_deviceTransfers
// It is not part of `make bench`.

using namespace nimbrel::test;

namespace {

constexpr double MiB = 1024.0 * 1024.0;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray randomBytes(qsizetype size, unsigned seed)
{
    QByteArray data(size, Qt::Uninitialized);
    std::mt19937 random(seed);
    for (char &c : data)
        c = char(random());
    return data;
}

using Host = WifiPeltoHost;

// Python's ssl module pushes `file` to the first client and closes; prints the port first.
const char *const kTlsPusher = R"(
import socket, ssl, sys
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(sys.argv[2], sys.argv[3])
data = open(sys.argv[1], "rb").read()
with socket.socket() as s:
    s.bind(("127.0.0.1", 0)); s.listen(1)
    print(s.getsockname()[1], flush=True)
    conn, _ = s.accept()
    with ctx.wrap_socket(conn, server_side=True) as t:
        t.sendall(data)
        t.unwrap()
)";

struct Figure
{
    double seconds = 0;
    double cpu = 0;
};

bool rawTls(const QString &file, const QString &cert, const QString &key, qint64 size, Figure &out)
{
    QProcess pusher;
    pusher.start(python(),
                 { QStringLiteral("-c"), QString::fromLatin1(kTlsPusher), file, cert, key });
    if (!pusher.waitForReadyRead(10000))
        return false;
    const quint16 port = quint16(pusher.readLine().trimmed().toInt());
    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    qint64 received = 0;
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    // A real event loop: the test helpers' waits sleep between passes.
    QEventLoop loop;
    QObject::connect(&socket, &QSslSocket::readyRead, [&] {
        received += socket.readAll().size();
        if (received >= size)
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    loop.exec();
    const bool done = received >= size;
    out.seconds = double(clock.nsecsElapsed()) / 1e9;
    out.cpu = cpuSeconds() - cpu0;
    pusher.waitForFinished(5000);
    return done;
}

bool download(Figure &wire, Figure &raw)
{
    QTemporaryDir dir;
    const qint64 size = 10 * 1024 * 1024;
    const QString deviceDir = dir.filePath(QStringLiteral("device"));
    QDir().mkpath(deviceDir);
    const QString source = deviceDir + QStringLiteral("/big.bin");
    QFile f(source);
    if (!f.open(QIODevice::WriteOnly) || f.write(randomBytes(size, 5)) != size)
        return false;
    f.close();
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    const ProcessResult made = runProcess(
        QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
          QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
          QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("1"),
          QStringLiteral("-subj"), QStringLiteral("/CN=bench") });
    if (made.exitCode != 0)
        return false;

    PeltoSimProcess sim;
    if (!sim.start({ QStringLiteral("--files"), deviceDir, QStringLiteral("--cert"), cert,
                     QStringLiteral("--key"), key }))
        return false;
    Host host(sim);
    if (!waitFor([&] { return host.connected(); }, 15000))
        return false;
    QSignalSpy opened(host.pelto.get(), &Pelto::FileControlOpenedClosed);
    host.pelto->openCloseFileControl(true);
    if (!opened.wait(10000))
        return false;
    auto *channel = opened.last().at(0).value<FileControlChannel *>();
    QSignalSpy done(channel, &FileControlChannel::DownloadFileReceived);
    const QString target = dir.filePath(QStringLiteral("out.bin"));
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    channel->downloadFile(QStringLiteral("/big.bin"), target);
    if (!done.wait(120000) || done.last().at(0).toInt() != FileControlChannel::Success)
        return false;
    wire.seconds = double(clock.nsecsElapsed()) / 1e9;
    wire.cpu = cpuSeconds() - cpu0;
    if (QFileInfo(target).size() != size)
        return false;
    return rawTls(source, cert, key, size, raw);
}

// Where a round trip goes, from the simulator's frame log: device time (chunk received to "ready"
// sent) and host time (the rest: "ready" on its way, through the link to the service, the next
// chunk back to the device).
void splitRoundTrips(const QString &log)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return;
    double lastRx = 0, lastTx = 0, device = 0, host = 0;
    int n = 0;
    while (!f.atEnd()) {
        const QJsonObject e = QJsonDocument::fromJson(f.readLine()).object();
        if (e.value(QStringLiteral("channel")).toInt() != 4)
            continue;
        const double t = e.value(QStringLiteral("time")).toDouble();
        if (e.value(QStringLiteral("dir")).toString() == QLatin1String("rx")) {
            if (lastTx > 0) {
                host += t - lastTx;
                ++n;
            }
            lastRx = t;
        } else if (lastRx > 0) {
            device += t - lastRx;
            lastTx = t;
            lastRx = 0;
        }
    }
    if (n)
        std::printf("per round trip: device (simulator) %.3f ms, host side and transport %.3f ms\n",
                    device / n * 1e3, host / n * 1e3);
}

bool upload(double &secondsPerChunk, int &chunks)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("frames.jsonl"));
    PeltoSimProcess sim;
    if (!sim.start({ QStringLiteral("--frame-log"), log, QStringLiteral("--log-sent") }))
        return false;
    Host host(sim);
    if (!waitFor([&] { return host.connected(); }, 15000))
        return false;
    QSignalSpy opened(host.pelto.get(), &Pelto::UpdateServiceOpenedClosed);
    host.pelto->openCloseUpdateService(true);
    if (!opened.wait(10000))
        return false;
    auto *service = opened.last().at(0).value<SoftwareUpdate *>();
    auto buffer = std::make_shared<QBuffer>();
    buffer->open(QIODevice::ReadWrite);
    buffer->write(randomBytes(1024 * 1024, 6));
    QEventLoop loop;
    QObject::connect(service, &SoftwareUpdate::UpdateStateChanged, &loop,
                     [&](SoftwareUpdate::UpdateState state) {
                         if (state == SoftwareUpdate::UpdateFinished)
                             loop.quit();
                     });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    service->startUpdateFromMemory(buffer, SoftwareUpdate::Firmware);
    loop.exec();
    if (service->state() != SoftwareUpdate::UpdateFinished)
        return false;
    chunks = int((1024 * 1024 + SoftwareUpdate::ChunkSize - 1) / SoftwareUpdate::ChunkSize);
    secondsPerChunk = double(clock.nsecsElapsed()) / 1e9 / chunks;
    splitRoundTrips(log);
    return true;
}

// The CRC pass of a start command: pieces of 1018 bytes over 1 MiB, against memcpy.
void crcPass()
{
    const QByteArray image = randomBytes(1024 * 1024, 7);
    std::vector<char> copy(size_t(image.size()));
    const int rounds = 200;
    uint32_t sink = 0;
    QElapsedTimer clock;
    clock.start();
    for (int r = 0; r < rounds; ++r) {
        uint32_t crc = 0xFFFFFFFF;
        for (qsizetype offset = 0; offset < image.size(); offset += SoftwareUpdate::ChunkSize) {
            const qsizetype piece
                = std::min<qsizetype>(SoftwareUpdate::ChunkSize, image.size() - offset);
            crc = crc32Update(crc, image.constData() + offset, uint64_t(piece));
        }
        sink ^= crc;
    }
    const double crcSeconds = double(clock.nsecsElapsed()) / 1e9;
    clock.restart();
    for (int r = 0; r < rounds; ++r) {
        std::memcpy(copy.data(), image.constData(), size_t(image.size()));
        sink ^= uint32_t(copy[size_t(r)]);
    }
    const double copySeconds = double(clock.nsecsElapsed()) / 1e9;
    const double crcRate = rounds * (image.size() / MiB) / crcSeconds;
    const double copyRate = rounds * (image.size() / MiB) / copySeconds;
    std::printf("CRC pass, 1 MiB in 1018-byte pieces: %.0f MiB/s; memcpy %.0f MiB/s; ratio %.2f "
                "(sink %08x)\n",
                crcRate, copyRate, crcRate / copyRate, sink);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("NIMBREL_SOURCE_DIR"))
        qputenv("NIMBREL_SOURCE_DIR", NIMBREL_SOURCE_DIR);
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    std::printf("== (a) 10 MiB download over the file-control channel, TLS loopback\n");
    Figure wire, raw;
    if (!download(wire, raw)) {
        std::printf("download failed\n");
        return 1;
    }
    const double mb = 10.0;
    std::printf("file control: %.2f s, %.1f MiB/s, host CPU %.3f s/MiB\n", wire.seconds,
                mb / wire.seconds, wire.cpu / mb);
    std::printf("raw TLS:      %.2f s, %.1f MiB/s, host CPU %.3f s/MiB\n", raw.seconds,
                mb / raw.seconds, raw.cpu / mb);
    std::printf("ratio (file control / raw TLS): %.3f\n", raw.seconds / wire.seconds);

    std::printf("== (b) 1 MiB image upload over the software-update channel, TLS loopback\n");
    double perChunk = 0;
    int chunks = 0;
    if (!upload(perChunk, chunks)) {
        std::printf("upload failed\n");
        return 1;
    }
    std::printf("%d chunks, %.3f ms per chunk round trip, %.2f MiB/s\n", chunks, perChunk * 1e3,
                SoftwareUpdate::ChunkSize / MiB / perChunk);
    crcPass();
    return 0;
}
