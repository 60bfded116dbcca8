#include "USBDataLink.h"
#include "UsbEventLoop.h"
#include "UsbPeltoSim.h"
#include "UsbTestbed.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

// Frame throughput of the USB link on the simulated USB bus of the test suite (umockdev, with
// pelto-sim behind the device), for frames of 64, 512 and 1024 bytes at packet sizes 512 and 64,
// against a baseline measured in the same run on the same device: plain synchronous
// libusb_bulk_transfer calls, one per packet-size chunk, i.e. the same URBs the link submits.
//  - OUT: frames/s from the first sendPacket of a burst until the link reports the last frame
//    written (TransferComplete). Afterwards the URBs the device saw and the frames pelto-sim
//    parsed are counted, so a row only stands when every frame really went out whole.
//  - IN: frames/s from starting the read until the last frame reached packetReceived. The frames
//    are pelto-sim's echo of channel-5 frames written (raw) before the read starts, so the
//    simulator's own speed is not measured; the baseline reads the same bytes with one synchronous
//    transfer of one packet at a time (what the link's IN transfer asks for) and cuts the frames
//    itself. A read holds at most ~64 KiB (the testbed copies its buffer on every URB), so each
//    row is several rounds with a fresh link, the times summed.
// Both sides include the testbed's own threads (umockdev's ioctl worker, the socket pump) running
// in this process, so the ratios are what the link adds over plain libusb on that bus, not a
// figure for real hardware.
//
// Built when the tests are configured as well (it needs NimbrelUsbTestbed):
//   cmake -S . -B build/bench-usb -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_BUILD_TESTS=ON
//         -DNIMBREL_BUILD_BENCH=ON
//   cmake --build build/bench-usb --target bench_usbFrames
//   build/bench-usb/bench/bench_usbFrames [OUT URBs per row] [IN rounds per row]
// It restarts itself under umockdev-wrapper when needed; it is not part of `make bench`.

using namespace nimbrel::test;

namespace {

constexpr quint16 VendorId = 0x1FC9;
constexpr quint16 ProductId = 0x828A;
constexpr quint8 OutEndpoint = 0x01;
constexpr quint8 InEndpoint = 0x81;
constexpr quint16 QuietChannel = 7; // pelto-sim only counts it
constexpr quint16 EchoChannel = 5;
constexpr int InBytesPerRound = 64 * 1024;

QByteArray frame(quint16 channel, int size, int seed)
{
    QByteArray f(size, Qt::Uninitialized);
    f[0] = char(0xCD);
    f[1] = char(0xAB);
    f[2] = char(channel & 0xFF);
    f[3] = char(channel >> 8);
    f[4] = char(size & 0xFF);
    f[5] = char(size >> 8);
    for (int i = 6; i < size; ++i)
        f[i] = char((i * 13 + seed * 7) % 253 + 1);
    return f;
}

// Polls `done` while the GUI thread's events run; a short timer keeps the wait from sleeping
// past the condition.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QTimer tick;
    tick.start(1);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// One Pelto on the bus with its simulator and a libusb context with its event thread. Members
// go in reverse order: libusb before the testbed.
struct Bus
{
    QTemporaryDir folder{ QDir::tempPath() + QStringLiteral("/bench-usbframes-XXXXXX") };
    std::unique_ptr<UsbTestbed> testbed = std::make_unique<UsbTestbed>();
    std::unique_ptr<UsbPeltoSim> sim = std::make_unique<UsbPeltoSim>();
    std::unique_ptr<UsbEventLoop> usb;
    int id = -1;

    bool plug(quint16 maxPacketSize)
    {
        const QString socket = folder.filePath(QStringLiteral("pelto.sock"));
        if (!testbed->isValid() || !sim->start(socket, QStringLiteral("PLT-BENCH-0001")))
            return false;
        id = testbed->addDevice(UsbDeviceSpec::pelto(maxPacketSize), socket);
        if (id < 0)
            return false;
        usb = std::make_unique<UsbEventLoop>();
        return usb->isValid();
    }

    QJsonObject counters()
    {
        return sim->command(QStringLiteral("counters"))
            .value(QStringLiteral("counters"))
            .toObject();
    }
    int framesOn(quint16 channel)
    {
        return counters()
            .value(QStringLiteral("channels"))
            .toObject()
            .value(QString::number(channel))
            .toInt();
    }
    int echoed()
    {
        return counters()
            .value(QStringLiteral("channel5"))
            .toObject()
            .value(QStringLiteral("echoed"))
            .toInt();
    }
    // The records are only read, never cleared: clearing them under a URB still pending (the
    // link's IN transfer) leaves the testbed without the record it marks when that URB is
    // discarded.
    int lastSequence() const
    {
        const QList<UsbUrbRecord> records = testbed->urbs(id);
        return records.isEmpty() ? -1 : records.last().sequence;
    }
    // OUT URBs submitted after `sequence` that went whole, and all of them.
    std::pair<int, int> outUrbs(int sequence) const
    {
        int whole = 0;
        int all = 0;
        for (const UsbUrbRecord &urb : testbed->urbs(id)) {
            if (urb.endpoint != OutEndpoint || urb.sequence <= sequence)
                continue;
            ++all;
            if (urb.completed && urb.status == 0 && urb.actualLength == urb.length)
                ++whole;
        }
        return { whole, all };
    }
};

// A handle with the vendor interface claimed, for the baseline and for writing echo requests.
struct RawHandle
{
    UsbEventLoop::Opened opened;
    explicit RawHandle(Bus &bus)
        : opened(bus.usb->open(VendorId, ProductId))
    {
        if (opened.isValid() && libusb_claim_interface(opened.handle, 0) != 0)
            close();
    }
    ~RawHandle() { close(); }
    void close()
    {
        if (opened.configuration)
            libusb_free_config_descriptor(opened.configuration);
        if (opened.handle) {
            libusb_release_interface(opened.handle, 0);
            libusb_close(opened.handle);
        }
        opened = {};
    }
    bool isValid() const { return opened.isValid(); }
};

// Writes a frame the way the link cuts it: one synchronous transfer per packet-size chunk.
bool writeChunked(libusb_device_handle *handle, const QByteArray &f, int packetSize)
{
    for (int offset = 0; offset < f.size(); offset += packetSize) {
        const int length = std::min(packetSize, int(f.size()) - offset);
        int moved = 0;
        auto *data = reinterpret_cast<unsigned char *>(const_cast<char *>(f.constData() + offset));
        if (libusb_bulk_transfer(handle, OutEndpoint, data, length, &moved, 1000) != 0
            || moved != length)
            return false;
    }
    return true;
}

// The link, claimed; deleted (and its libusb objects released) with the object.
struct LinkUnderTest
{
    USBDataLink *link = nullptr;
    libusb_device_handle *handle = nullptr;

    explicit LinkUnderTest(Bus &bus)
    {
        const UsbEventLoop::Opened opened = bus.usb->open(VendorId, ProductId);
        if (!opened.isValid())
            return;
        handle = opened.handle;
        link = new USBDataLink(opened.handle, opened.configuration, bus.usb->contextField(),
                               opened.device);
        QObject::connect(
            link, &USBDataLink::DeleteUsb, link,
            [](void *h, void *, int interfaceNumber, void *in, void *out) {
                UsbEventLoop::release(h, in, out, interfaceNumber);
            },
            Qt::DirectConnection);
        if (link->claimDatalinkInterface()) {
            delete link;
            link = nullptr;
        }
    }
    ~LinkUnderTest() { delete link; }
};

struct Row
{
    double linkRate = 0;
    double baseRate = 0;
    QByteArray note;
};

int chunksOf(int size, int packetSize)
{
    return (size + packetSize - 1) / packetSize;
}

// Frames written per second by the link, or 0 (and `note`) when the row does not stand.
double linkOut(Bus &bus, int size, int packetSize, int frames, QByteArray &note)
{
    LinkUnderTest rig(bus);
    if (!rig.link) {
        note = "link not claimed";
        return 0;
    }
    std::atomic<int> written{ 0 };
    std::atomic<int> errors{ 0 };
    QObject::connect(
        rig.link, &USBDataLink::TransferComplete, rig.link, [&written] { ++written; },
        Qt::DirectConnection);
    QObject::connect(
        rig.link, &USBDataLink::ConnectionError, rig.link, [&errors] { ++errors; },
        Qt::DirectConnection);
    rig.link->startReadTransfer();
    if (rig.link->maxPacketSize() != packetSize) {
        note = "link packet size " + QByteArray::number(rig.link->maxPacketSize());
        return 0;
    }
    const QByteArray f = frame(QuietChannel, size, size);
    const int simBefore = bus.framesOn(QuietChannel);
    const int sequence = bus.lastSequence();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < frames; ++i)
        rig.link->sendPacket(QuietChannel, true, f);
    const bool done = waitUntil([&] { return written == frames || errors > 0; }, 120000);
    const qint64 ns = clock.nsecsElapsed();
    const auto [whole, all] = bus.outUrbs(sequence);
    const int expected = frames * chunksOf(size, packetSize);
    const bool reached
        = waitUntil([&] { return bus.framesOn(QuietChannel) - simBefore == frames; }, 20000);
    if (!done || errors > 0 || whole != expected || all != expected || !reached) {
        note = "link: " + QByteArray::number(written.load()) + " written, "
            + QByteArray::number(errors.load()) + " errors, " + QByteArray::number(whole) + "/"
            + QByteArray::number(all) + " URBs of " + QByteArray::number(expected);
        return 0;
    }
    return frames * 1e9 / double(ns);
}

double rawOut(Bus &bus, int size, int packetSize, int frames, QByteArray &note)
{
    RawHandle raw(bus);
    if (!raw.isValid()) {
        note = "raw handle not claimed";
        return 0;
    }
    const QByteArray f = frame(QuietChannel, size, size);
    const int simBefore = bus.framesOn(QuietChannel);
    const int sequence = bus.lastSequence();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < frames; ++i) {
        if (!writeChunked(raw.opened.handle, f, packetSize)) {
            note = "raw write failed";
            return 0;
        }
    }
    const qint64 ns = clock.nsecsElapsed();
    const auto [whole, all] = bus.outUrbs(sequence);
    const int expected = frames * chunksOf(size, packetSize);
    if (whole != expected || all != expected
        || !waitUntil([&] { return bus.framesOn(QuietChannel) - simBefore == frames; }, 20000)) {
        note = "raw: " + QByteArray::number(whole) + "/" + QByteArray::number(all) + " URBs of "
            + QByteArray::number(expected);
        return 0;
    }
    return frames * 1e9 / double(ns);
}

// Has pelto-sim echo `frames` frames into the device's IN buffer through `handle`.
bool fillEcho(Bus &bus, libusb_device_handle *handle, int size, int packetSize, int frames)
{
    const int target = bus.echoed() + frames;
    const QByteArray f = frame(EchoChannel, size, size);
    for (int i = 0; i < frames; ++i) {
        if (!writeChunked(handle, f, packetSize))
            return false;
    }
    return waitUntil([&] { return bus.echoed() >= target; }, 30000);
}

// Reads and drops whatever the device holds for the host. A link destroyed between two packets
// of one frame leaves the frame's tail behind, and a link that starts on a tail drops every
// packet that does not start with a frame; at 64-byte frames in 64-byte packets that is every
// packet of the round.
void drainIn(libusb_device_handle *handle, int packetSize)
{
    std::vector<unsigned char> buffer(size_t(std::max(512, packetSize)));
    int moved = 0;
    while (libusb_bulk_transfer(handle, InEndpoint, buffer.data(), packetSize, &moved, 20) == 0) { }
}

// Frames per second from the start of the read to the last echoed frame delivered.
double linkIn(Bus &bus, int size, int packetSize, int frames, int rounds, QByteArray &note)
{
    qint64 ns = 0;
    for (int round = 0; round < rounds; ++round) {
        LinkUnderTest rig(bus);
        if (!rig.link) {
            note = "link not claimed";
            return 0;
        }
        int received = 0;
        int others = 0;
        QObject::connect(rig.link, &AbstractDataLink::packetReceived, rig.link,
                         [&received, &others, size](uint16_t channel, const QByteArray &packet) {
                             if (channel == EchoChannel && packet.size() == size - 6)
                                 ++received;
                             else
                                 ++others;
                         });
        drainIn(rig.handle, packetSize);
        if (!fillEcho(bus, rig.handle, size, packetSize, frames)) {
            note = "echo not filled";
            return 0;
        }
        const int sequence = bus.lastSequence();
        QElapsedTimer clock;
        clock.start();
        rig.link->startReadTransfer();
        if (!waitUntil([&] { return received >= frames; }, 10000)) {
            int inBytes = 0;
            for (const UsbUrbRecord &urb : bus.testbed->urbs(bus.id))
                if (urb.isIn() && urb.sequence > sequence)
                    inBytes += urb.actualLength;
            note = "link: " + QByteArray::number(received) + " of " + QByteArray::number(frames)
                + " frames in round " + QByteArray::number(round + 1) + " ("
                + QByteArray::number(others) + " other frames, " + QByteArray::number(inBytes)
                + " bytes read)";
            return 0;
        }
        ns += clock.nsecsElapsed();
    }
    return double(frames) * rounds * 1e9 / double(ns);
}

double rawIn(Bus &bus, int size, int packetSize, int frames, int rounds, QByteArray &note)
{
    RawHandle raw(bus);
    if (!raw.isValid()) {
        note = "raw handle not claimed";
        return 0;
    }
    QByteArray pending;
    int received = 0;
    std::vector<unsigned char> buffer(size_t(std::max(512, packetSize)));
    // One packet, cut into frames; false when the transfer fails or the stream loses its frames.
    const auto readPacket = [&]() {
        int moved = 0;
        if (libusb_bulk_transfer(raw.opened.handle, InEndpoint, buffer.data(), packetSize, &moved,
                                 5000)
            != 0)
            return false;
        pending.append(reinterpret_cast<const char *>(buffer.data()), moved);
        while (pending.size() >= 6) {
            const int length = quint8(pending[4]) | quint8(pending[5]) << 8;
            if (quint8(pending[0]) != 0xCD || quint8(pending[1]) != 0xAB || length < 6)
                return false;
            if (pending.size() < length)
                break;
            const int channel = quint8(pending[2]) | quint8(pending[3]) << 8;
            if (channel == EchoChannel && length == size)
                ++received;
            pending.remove(0, length);
        }
        return true;
    };
    qint64 ns = 0;
    for (int round = 0; round < rounds; ++round) {
        if (!fillEcho(bus, raw.opened.handle, size, packetSize, frames)) {
            note = "echo not filled";
            return 0;
        }
        received = 0;
        QElapsedTimer clock;
        clock.start();
        while (received < frames) {
            if (!readPacket()) {
                note = "raw: " + QByteArray::number(received) + " of " + QByteArray::number(frames)
                    + " frames";
                return 0;
            }
        }
        ns += clock.nsecsElapsed();
    }
    // The last packet may have taken the head of a heartbeat: read its rest, so that the next
    // reader starts on a frame.
    while (!pending.isEmpty()) {
        if (!readPacket()) {
            note = "raw: stream lost its frames";
            return 0;
        }
    }
    return double(frames) * rounds * 1e9 / double(ns);
}

void printRow(const char *direction, int packetSize, int size, int frames, const Row &row)
{
    if (!row.note.isEmpty()) {
        std::printf("%-3s MPS %4d  %4d B  %6d  FAILED: %s\n", direction, packetSize, size, frames,
                    row.note.constData());
        return;
    }
    std::printf("%-3s MPS %4d  %4d B  %6d  %12.0f  %12.0f  %6.2f\n", direction, packetSize, size,
                frames, row.linkRate, row.baseRate, row.linkRate / row.baseRate);
    std::fflush(stdout);
}

bool runBus(quint16 packetSize, int outUrbs, int inRounds)
{
    Bus bus;
    if (!bus.plug(packetSize)) {
        std::fprintf(stderr, "MPS %d: the simulated device did not come up\n", packetSize);
        return false;
    }
    for (int size : { 64, 512, 1024 }) {
        const int frames = std::max(50, outUrbs / chunksOf(size, packetSize));
        Row row;
        row.baseRate = rawOut(bus, size, packetSize, frames, row.note);
        if (row.note.isEmpty())
            row.linkRate = linkOut(bus, size, packetSize, frames, row.note);
        printRow("OUT", packetSize, size, frames, row);
    }
    for (int size : { 64, 512, 1024 }) {
        const int frames = InBytesPerRound / size;
        Row row;
        row.baseRate = rawIn(bus, size, packetSize, frames, inRounds, row.note);
        if (row.note.isEmpty())
            row.linkRate = linkIn(bus, size, packetSize, frames, inRounds, row.note);
        printRow("IN", packetSize, size, frames * inRounds, row);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!UsbTestbed::underUmockdev()) {
        std::vector<char *> arguments{ const_cast<char *>("umockdev-wrapper") };
        for (int i = 0; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        execvp("umockdev-wrapper", arguments.data());
        std::perror("umockdev-wrapper");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("NIMBREL_SOURCE_DIR"))
        qputenv("NIMBREL_SOURCE_DIR", NIMBREL_SOURCE_DIR);
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int outUrbs = argc > 1 ? std::max(100, atoi(argv[1])) : 4000;
    const int inRounds = argc > 2 ? std::max(1, atoi(argv[2])) : 4;

    std::printf("== USB frames/s: the link against synchronous libusb_bulk_transfer, same URBs\n");
    std::printf("dir packet  frame  frames  link frames/s  libusb frames/s  ratio\n");
    for (quint16 packetSize : { quint16(512), quint16(64) }) {
        if (!runBus(packetSize, outUrbs, inRounds))
            return 1;
    }
    return 0;
}
