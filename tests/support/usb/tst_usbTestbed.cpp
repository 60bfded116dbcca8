#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "UsbTestbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <libusb-1.0/libusb.h>

#include <atomic>
#include <cerrno>
#include <sys/resource.h>
#include <thread>

using namespace nimbrel::test;

namespace {

// CRC-32/MPEG-2 bit by bit (polynomial 0x04C11DB7, start 0xFFFFFFFF, no reflection, no final
// xor): written here from the definition, so it shares nothing with the simulator or the host.
quint32 crc32Mpeg2(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint32(quint8(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

void putU16(QByteArray &m, int offset, quint16 v)
{
    m[offset] = char(v & 0xFF);
    m[offset + 1] = char(v >> 8);
}

void putU32(QByteArray &m, int offset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        m[offset + i] = char((v >> (8 * i)) & 0xFF);
}

quint16 u16(const QByteArray &m, int offset)
{
    return quint16(quint8(m[offset]) | quint8(m[offset + 1]) << 8);
}

quint32 u32(const QByteArray &m, int offset)
{
    return quint32(u16(m, offset)) | quint32(u16(m, offset + 2)) << 16;
}

// A channel-0 message: 12-byte header (crc, type, length, value, reserved, version) and body.
QByteArray channelZero(quint16 type, quint16 version, const QByteArray &body)
{
    QByteArray m(12, '\0');
    m += body;
    putU16(m, 4, type);
    putU16(m, 6, quint16(m.size()));
    putU16(m, 10, version);
    putU32(m, 0, crc32Mpeg2(m.mid(4)));
    return m;
}

QByteArray frame(quint16 channel, const QByteArray &payload)
{
    QByteArray f(6, '\0');
    putU16(f, 0, 0xABCD);
    putU16(f, 2, channel);
    putU16(f, 4, quint16(payload.size() + 6));
    return f + payload;
}

// The host's device-info request: its 56-byte heartbeat wrapped in a type-0 message.
QByteArray deviceInfoRequest()
{
    QByteArray heartbeat(44, '\0');
    heartbeat[5] = 1; // active
    heartbeat.replace(8, 31, QByteArray("usb-testbed-identity-0123456789"));
    putU32(heartbeat, 40, 0xFFFFFFFFu); // extended type -1
    return channelZero(0, 0, channelZero(0, 1, heartbeat));
}

// Runs libusb's event handling on a thread of its own while it lives.
class EventThread
{
public:
    explicit EventThread(libusb_context *context)
        : m_thread([this, context] {
            while (m_running) {
                timeval tv{ 0, 50000 };
                libusb_handle_events_timeout_completed(context, &tv, nullptr);
            }
        })
    { }
    ~EventThread()
    {
        m_running = false;
        m_thread.join();
    }

private:
    std::atomic<bool> m_running{ true };
    std::thread m_thread;
};

struct AsyncTransfer
{
    libusb_transfer *transfer = libusb_alloc_transfer(0);
    unsigned char buffer[1024] = {};
    std::atomic<int> status{ -1 };
    std::atomic<int> actual{ 0 };

    ~AsyncTransfer() { libusb_free_transfer(transfer); }
    static void LIBUSB_CALL done(libusb_transfer *t)
    {
        auto *self = static_cast<AsyncTransfer *>(t->user_data);
        self->actual = t->actual_length;
        self->status = t->status;
    }
    int submit(libusb_device_handle *handle, unsigned char endpoint, int length,
               unsigned timeoutMs = 0)
    {
        libusb_fill_bulk_transfer(transfer, handle, endpoint, buffer, length, done, this,
                                  timeoutMs);
        return libusb_submit_transfer(transfer);
    }
};

} // namespace

class tst_UsbTestbed : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void descriptorsAsLibusbReadsThem_data();
    void descriptorsAsLibusbReadsThem();
    void channelZeroExchange_data();
    void channelZeroExchange();
    void urbsAreRecordedAsSubmitted_data();
    void urbsAreRecordedAsSubmitted();
    void heldOutUrbTimesOut();
    void failedInUrb_data();
    void failedInUrb();
    void hotAddAndHotRemove();
    void idleHandleSleepsInPoll();

private:
    // Starts a simulator with a USB socket and plugs a device for it in.
    int plugPelto(const UsbDeviceSpec &spec, const QString &serial);
    libusb_device_handle *openPelto(int id);
    QByteArray readFrame(libusb_device_handle *handle, int maxPacketSize);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<UsbTestbed> m_testbed;
    std::vector<std::unique_ptr<PeltoSimProcess>> m_sims;
    libusb_context *m_context = nullptr;
};

void tst_UsbTestbed::init()
{
    QVERIFY2(UsbTestbed::underUmockdev(),
             "run this test under umockdev-wrapper (UMOCKDEV in CMake)");
    QCOMPARE(crc32Mpeg2("123456789"), 0x0376E6E7u); // the catalogue's check value
    m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
    QVERIFY(m_folder->isValid());
    // Before libusb_init: libusb reads sysfs and listens for uevents where the testbed says.
    m_testbed = std::make_unique<UsbTestbed>();
    QVERIFY2(m_testbed->isValid(), qPrintable(m_testbed->errorString()));
    QCOMPARE(libusb_init(&m_context), 0);
}

void tst_UsbTestbed::cleanup()
{
    const QStringList unhandled = m_testbed ? m_testbed->unhandledRequests() : QStringList();
    if (m_context)
        libusb_exit(m_context);
    m_context = nullptr;
    m_testbed.reset();
    m_sims.clear();
    QVERIFY2(unhandled.isEmpty(), qPrintable(unhandled.join(QLatin1String(", "))));
}

int tst_UsbTestbed::plugPelto(const UsbDeviceSpec &spec, const QString &serial)
{
    const QString socket = m_folder->filePath(serial + QStringLiteral(".sock"));
    auto sim = std::make_unique<PeltoSimProcess>();
    // Long heartbeats: every heartbeat a test reads answers its own request.
    if (!sim->start({ QStringLiteral("--usb-socket"), socket, QStringLiteral("--serial"), serial,
                      QStringLiteral("--heartbeat-ms"), QStringLiteral("600000") }))
        return -1;
    m_sims.push_back(std::move(sim));
    return m_testbed->addDevice(spec, socket);
}

libusb_device_handle *tst_UsbTestbed::openPelto(int id)
{
    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &list);
    libusb_device_handle *handle = nullptr;
    for (ssize_t i = 0; i < count && !handle; ++i) {
        if (libusb_get_bus_number(list[i]) == m_testbed->busNumber(id)
            && libusb_get_device_address(list[i]) == m_testbed->deviceAddress(id))
            libusb_open(list[i], &handle);
    }
    libusb_free_device_list(list, 1);
    return handle;
}

// Reads IN chunks of one packet until one whole frame is there.
QByteArray tst_UsbTestbed::readFrame(libusb_device_handle *handle, int maxPacketSize)
{
    QByteArray received;
    QByteArray chunk(maxPacketSize, '\0');
    while (received.size() < 6 || received.size() < u16(received, 4)) {
        int actual = 0;
        const int r
            = libusb_bulk_transfer(handle, 0x81, reinterpret_cast<unsigned char *>(chunk.data()),
                                   maxPacketSize, &actual, unsigned(scaled(3000)));
        if (r != 0)
            return {};
        received += chunk.left(actual);
    }
    return received;
}

void tst_UsbTestbed::descriptorsAsLibusbReadsThem_data()
{
    QTest::addColumn<UsbDeviceSpec>("spec");
    QTest::addColumn<int>("interfaces");
    QTest::addColumn<int>("vendorPosition"); // of 0xFF/0x01/0x00, -1 none
    QTest::addColumn<int>("endpoints");
    QTest::addColumn<int>("maxPacketSize");

    QTest::newRow("MPS 64") << UsbDeviceSpec::pelto(64) << 1 << 0 << 2 << 64;
    QTest::newRow("MPS 512") << UsbDeviceSpec::pelto(512) << 1 << 0 << 2 << 512;
    QTest::newRow("MPS 0") << UsbDeviceSpec::pelto(0) << 1 << 0 << 2 << 0;
    QTest::newRow("MPS 1024") << UsbDeviceSpec::pelto(1024) << 1 << 0 << 2 << 1024;
    QTest::newRow("vendor interface at 2")
        << UsbDeviceSpec::peltoWithVendorInterfaceAt(2) << 3 << 2 << 2 << 512;
    QTest::newRow("no vendor interface")
        << UsbDeviceSpec::peltoWithoutVendorInterface() << 2 << -1 << 0 << 0;
    QTest::newRow("one endpoint") << UsbDeviceSpec::peltoWithOneEndpoint() << 1 << 0 << 1 << 512;
}

// libusb's own descriptor parser is the oracle for what the testbed publishes in sysfs.
void tst_UsbTestbed::descriptorsAsLibusbReadsThem()
{
    QFETCH(UsbDeviceSpec, spec);
    QFETCH(int, interfaces);
    QFETCH(int, vendorPosition);
    QFETCH(int, endpoints);
    QFETCH(int, maxPacketSize);

    const int id = m_testbed->addDevice(spec);
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    // A context made now finds the device by scanning sysfs, not by the "add" uevent.
    libusb_context *scanning = nullptr;
    QCOMPARE(libusb_init(&scanning), 0);
    const auto exitScanning = qScopeGuard([scanning] { libusb_exit(scanning); });
    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(scanning, &list);
    QCOMPARE(count, 1);
    libusb_device_descriptor device{};
    QCOMPARE(libusb_get_device_descriptor(list[0], &device), 0);
    QCOMPARE(device.idVendor, 0x1FC9);
    QCOMPARE(device.idProduct, 0x828A);
    QCOMPARE(libusb_get_device_speed(list[0]),
             spec.speedMbps == 12 ? LIBUSB_SPEED_FULL : LIBUSB_SPEED_HIGH);
    libusb_config_descriptor *config = nullptr;
    QCOMPARE(libusb_get_config_descriptor(list[0], 0, &config), 0);
    libusb_free_device_list(list, 1);
    const int foundInterfaces = config->bNumInterfaces;
    int foundPosition = -1;
    int foundEndpoints = 0;
    int foundMps = 0;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface_descriptor &setting = config->interface[i].altsetting[0];
        if (setting.bInterfaceClass == 0xFF && setting.bInterfaceSubClass == 0x01
            && setting.bInterfaceProtocol == 0x00 && foundPosition < 0) {
            foundPosition = i;
            foundEndpoints = setting.bNumEndpoints;
            foundMps = setting.endpoint[0].wMaxPacketSize;
            QCOMPARE(setting.endpoint[0].bEndpointAddress, 0x81);
            if (setting.bNumEndpoints > 1)
                QCOMPARE(setting.endpoint[1].bEndpointAddress, 0x01);
        }
    }
    const int configurationValue = config->bConfigurationValue;
    libusb_free_config_descriptor(config);
    QCOMPARE(configurationValue, 1);
    QCOMPARE(foundInterfaces, interfaces);
    QCOMPARE(foundPosition, vendorPosition);
    QCOMPARE(foundEndpoints, endpoints);
    QCOMPARE(foundMps, maxPacketSize);
}

void tst_UsbTestbed::channelZeroExchange_data()
{
    QTest::addColumn<int>("maxPacketSize");
    QTest::newRow("MPS 64") << 64;
    QTest::newRow("MPS 512") << 512;
}

// Open, configure and claim synchronously on the test's thread (as the host's GUI thread does),
// send a device-info request and read the simulator's heartbeat back over the bulk endpoints.
void tst_UsbTestbed::channelZeroExchange()
{
    QFETCH(int, maxPacketSize);
    const int id
        = plugPelto(UsbDeviceSpec::pelto(quint16(maxPacketSize)), QStringLiteral("PLT-USB-0042"));
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    QVERIFY(m_testbed->simConnected(id));
    libusb_device_handle *handle = openPelto(id);
    QVERIFY(handle);
    QCOMPARE(m_testbed->openHandles(id), 1);
    libusb_set_auto_detach_kernel_driver(handle, 1);
    QCOMPARE(libusb_set_configuration(handle, 1), 0);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    QCOMPARE(m_testbed->claimedInterfaces(id), QList<int>{ 0 });

    const QByteArray request = frame(0, deviceInfoRequest());
    QByteArray out = request;
    int sent = 0;
    QCOMPARE(libusb_bulk_transfer(handle, 0x01, reinterpret_cast<unsigned char *>(out.data()),
                                  int(out.size()), &sent, unsigned(scaled(3000))),
             0);
    QCOMPARE(sent, int(request.size()));

    const QByteArray reply = readFrame(handle, maxPacketSize);
    QCOMPARE(reply.size(), 6 + 56);
    QCOMPARE(u16(reply, 0), 0xABCD);
    QCOMPARE(u16(reply, 2), 0);
    const QByteArray heartbeat = reply.mid(6);
    QCOMPARE(u32(heartbeat, 0), crc32Mpeg2(heartbeat.mid(4)));
    QCOMPARE(u16(heartbeat, 4), 0); // type heartbeat
    QCOMPARE(u16(heartbeat, 18), 1); // interface USB
    QCOMPARE(heartbeat.mid(20, 13), QByteArray("PLT-USB-0042\0", 13));

    // What the simulator received came over USB, unchanged.
    const QJsonArray frames = m_sims.front()->frames(0);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.at(0)[QStringLiteral("link")].toString(), QStringLiteral("usb"));
    QCOMPARE(QByteArray::fromHex(frames.at(0)[QStringLiteral("payload")].toString().toLatin1()),
             request.mid(6));
    const QList<UsbUrbRecord> urbs = m_testbed->urbs(id);
    QVERIFY(!urbs.isEmpty());
    QCOMPARE(urbs.first().endpoint, 0x01);
    QCOMPARE(urbs.first().data, request);
    QVERIFY(urbs.first().reaped);

    QCOMPARE(libusb_release_interface(handle, 0), 0);
    libusb_close(handle);
    QTRY_COMPARE_WITH_TIMEOUT(m_testbed->openHandles(id), 0, scaled(5000));
}

void tst_UsbTestbed::urbsAreRecordedAsSubmitted_data()
{
    QTest::addColumn<int>("maxPacketSize");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<bool>("zeroPacket");
    QTest::addColumn<QList<int>>("lengths");

    QTest::newRow("1024 at 512") << 512 << 1024 << false << QList<int>{ 512, 512 };
    QTest::newRow("1024 at 64") << 64 << 1024 << false << QList<int>(16, 64);
    QTest::newRow("70 at 64") << 64 << 70 << false << QList<int>{ 64, 6 };
    // The flag is visible in the record, so a missing zero-packet flag above is a real absence.
    QTest::newRow("512 at 512, zero packet") << 512 << 512 << true << QList<int>{ 512 };
}

// A host cuts a frame into chunks of the endpoint's packet size, one transfer each; the testbed
// records each URB as submitted and hands the bytes to the simulator, which echoes channel 5.
void tst_UsbTestbed::urbsAreRecordedAsSubmitted()
{
    QFETCH(int, maxPacketSize);
    QFETCH(int, frameSize);
    QFETCH(bool, zeroPacket);
    QFETCH(QList<int>, lengths);

    const int id
        = plugPelto(UsbDeviceSpec::pelto(quint16(maxPacketSize)), QStringLiteral("PLT-USB-0007"));
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    libusb_device_handle *handle = openPelto(id);
    QVERIFY(handle);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    EventThread events(m_context);

    QByteArray payload(frameSize - 6, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + 3);
    const QByteArray whole = frame(5, payload);
    for (int offset = 0; offset < whole.size(); offset += maxPacketSize) {
        AsyncTransfer chunk;
        const int length = int(qMin<qsizetype>(maxPacketSize, whole.size() - offset));
        std::memcpy(chunk.buffer, whole.constData() + offset, size_t(length));
        if (zeroPacket)
            chunk.transfer->flags |= LIBUSB_TRANSFER_ADD_ZERO_PACKET;
        QCOMPARE(chunk.submit(handle, 0x01, length), 0);
        QTRY_COMPARE_WITH_TIMEOUT(chunk.status.load(), int(LIBUSB_TRANSFER_COMPLETED),
                                  scaled(3000));
        QCOMPARE(chunk.actual.load(), length);
    }
    QCOMPARE(readFrame(handle, maxPacketSize), whole);

    QList<int> recorded;
    for (const UsbUrbRecord &urb : m_testbed->urbs(id)) {
        if (urb.isIn())
            continue;
        recorded << urb.length;
        QCOMPARE(urb.type, 3); // bulk
        QCOMPARE(urb.zeroPacket(), zeroPacket);
        QCOMPARE(urb.status, 0);
        QCOMPARE(urb.actualLength, urb.length);
    }
    QCOMPARE(recorded, lengths);
    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

// An OUT URB the device never takes: the host's time-out discards it, nothing reaches the
// simulator; once released, the device takes data again.
void tst_UsbTestbed::heldOutUrbTimesOut()
{
    const int id = plugPelto(UsbDeviceSpec::pelto(512), QStringLiteral("PLT-USB-0008"));
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    libusb_device_handle *handle = openPelto(id);
    QVERIFY(handle);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);

    m_testbed->setHoldOut(id, true);
    QByteArray held = frame(5, "held back");
    int sent = -1;
    QCOMPARE(libusb_bulk_transfer(handle, 0x01, reinterpret_cast<unsigned char *>(held.data()),
                                  int(held.size()), &sent, 50),
             int(LIBUSB_ERROR_TIMEOUT));
    QCOMPARE(sent, 0);
    QCOMPARE(m_testbed->urbs(id).size(), 1);
    const UsbUrbRecord urb = m_testbed->urbs(id).first();
    QVERIFY(urb.held);
    QVERIFY(urb.discarded);
    QCOMPARE(urb.status, -ENOENT);

    m_testbed->setHoldOut(id, false);
    QByteArray taken = frame(5, "taken");
    QCOMPARE(libusb_bulk_transfer(handle, 0x01, reinterpret_cast<unsigned char *>(taken.data()),
                                  int(taken.size()), &sent, unsigned(scaled(3000))),
             0);
    QCOMPARE(readFrame(handle, 512), taken);
    const QJsonArray frames = m_sims.front()->frames(5);
    QCOMPARE(frames.size(), 1); // the held frame never reached the device

    // Records cleared while a URB is still held: discarding it later must not touch them.
    m_testbed->setHoldOut(id, true);
    QByteArray late = frame(5, "cleared");
    libusb_transfer *transfer = libusb_alloc_transfer(0);
    int completed = 0;
    libusb_fill_bulk_transfer(
        transfer, handle, 0x01, reinterpret_cast<unsigned char *>(late.data()), int(late.size()),
        [](libusb_transfer *t) { *static_cast<int *>(t->user_data) = 1; }, &completed, 0);
    const qsizetype before = m_testbed->urbs(id).size();
    QCOMPARE(libusb_submit_transfer(transfer), 0);
    QVERIFY(waitFor([&] { return m_testbed->urbs(id).size() == before + 1; }, 3000));
    QVERIFY(m_testbed->urbs(id).last().held);
    m_testbed->clearUrbs(id);
    QCOMPARE(libusb_cancel_transfer(transfer), 0);
    timeval tick{0, 50000};
    QElapsedTimer clock;
    clock.start();
    while (!completed && clock.elapsed() < scaled(3000))
        libusb_handle_events_timeout_completed(m_context, &tick, &completed);
    QVERIFY(completed);
    QCOMPARE(int(transfer->status), int(LIBUSB_TRANSFER_CANCELLED));
    libusb_free_transfer(transfer);
    m_testbed->setHoldOut(id, false);

    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

void tst_UsbTestbed::failedInUrb_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::newRow("EPIPE stalls") << EPIPE << int(LIBUSB_TRANSFER_STALL);
    QTest::newRow("ENODEV") << ENODEV << int(LIBUSB_TRANSFER_NO_DEVICE);
    QTest::newRow("EPROTO") << EPROTO << int(LIBUSB_TRANSFER_ERROR);
}

void tst_UsbTestbed::failedInUrb()
{
    QFETCH(int, error);
    QFETCH(int, status);
    const int id = plugPelto(UsbDeviceSpec::pelto(512), QStringLiteral("PLT-USB-0009"));
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    libusb_device_handle *handle = openPelto(id);
    QVERIFY(handle);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    EventThread events(m_context);

    // Two failures: the URB pending now, then the next one at its submission; the third waits.
    AsyncTransfer in[3];
    QCOMPARE(in[0].submit(handle, 0x81, 512), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_testbed->urbs(id).size(), 1, scaled(3000));
    QCOMPARE(in[0].status.load(), -1); // pending: nothing to read yet
    m_testbed->failNextIn(id, error, 2);
    QTRY_COMPARE_WITH_TIMEOUT(in[0].status.load(), status, scaled(3000));
    QCOMPARE(in[1].submit(handle, 0x81, 512), 0);
    QTRY_COMPARE_WITH_TIMEOUT(in[1].status.load(), status, scaled(3000));
    QCOMPARE(in[2].submit(handle, 0x81, 512), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_testbed->urbs(id).size(), 3, scaled(3000));
    const QList<UsbUrbRecord> urbs = m_testbed->urbs(id);
    QCOMPARE(urbs.at(0).status, -error);
    QCOMPARE(urbs.at(1).status, -error);
    QVERIFY(!urbs.at(2).completed);
    QCOMPARE(in[2].status.load(), -1);
    libusb_cancel_transfer(in[2].transfer);
    QTRY_COMPARE_WITH_TIMEOUT(in[2].status.load(), int(LIBUSB_TRANSFER_CANCELLED), scaled(3000));
    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

// A device plugged in after libusb started is announced to its hot-plug callbacks; unplugging
// it fails the IN transfer in flight with NO_DEVICE, announces the departure and removes the
// node.
void tst_UsbTestbed::hotAddAndHotRemove()
{
    QVERIFY(libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG));
    struct Events
    {
        std::atomic<int> arrived{ 0 };
        std::atomic<int> left{ 0 };
    } events;
    auto callback = [](libusb_context *, libusb_device *device, libusb_hotplug_event event,
                       void *data) -> int {
        libusb_device_descriptor descriptor{};
        libusb_get_device_descriptor(device, &descriptor);
        if (descriptor.idVendor != 0x1FC9 || descriptor.idProduct != 0x828A)
            return 0;
        auto *seen = static_cast<Events *>(data);
        (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? seen->arrived : seen->left)++;
        return 0;
    };
    libusb_hotplug_callback_handle hotplug = 0;
    QCOMPARE(
        libusb_hotplug_register_callback(m_context,
                                         libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED
                                                              | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                                         libusb_hotplug_flag(0), 0x1FC9, 0x828A,
                                         LIBUSB_HOTPLUG_MATCH_ANY, callback, &events, &hotplug),
        0);
    EventThread eventThread(m_context);

    const int first = plugPelto(UsbDeviceSpec::pelto(512), QStringLiteral("PLT-USB-0010"));
    const int second = plugPelto(UsbDeviceSpec::pelto(64), QStringLiteral("PLT-USB-0011"));
    QVERIFY2(first > 0 && second > 0, qPrintable(m_testbed->errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(events.arrived.load(), 2, scaled(5000));
    QVERIFY(m_testbed->deviceAddress(first) != m_testbed->deviceAddress(second));

    libusb_device_handle *handle = openPelto(first);
    QVERIFY(handle);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    AsyncTransfer in;
    QCOMPARE(in.submit(handle, 0x81, 512), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_testbed->urbs(first).size(), 1, scaled(3000));
    QCOMPARE(in.status.load(), -1);

    const QString node
        = QString::fromLocal8Bit(qgetenv("UMOCKDEV_DIR")) + m_testbed->devNode(first);
    QVERIFY(QFile::exists(node));
    QVERIFY(m_testbed->removeDevice(first));
    QTRY_COMPARE_WITH_TIMEOUT(in.status.load(), int(LIBUSB_TRANSFER_NO_DEVICE), scaled(3000));
    QCOMPARE(m_testbed->urbs(first).first().status, -ENODEV);
    QTRY_COMPARE_WITH_TIMEOUT(events.left.load(), 1, scaled(5000));
    QVERIFY(!QFile::exists(node));
    QVERIFY(!m_testbed->simConnected(first));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_sims.front()->counters()[QStringLiteral("usb")][QStringLiteral("detached")].toInt(), 1,
        scaled(5000));
    AsyncTransfer after;
    QCOMPARE(after.submit(handle, 0x81, 512), int(LIBUSB_ERROR_NO_DEVICE));

    // The other device is untouched and still listed.
    libusb_device_handle *other = openPelto(second);
    QVERIFY(other);
    libusb_close(other);
    libusb_hotplug_deregister_callback(m_context, hotplug);
    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

// With a transfer pending and nothing to reap, libusb's event thread must sleep in poll() as on
// a real device; a node that always polls ready makes it and umockdev's worker spin instead.
void tst_UsbTestbed::idleHandleSleepsInPoll()
{
    const int id = plugPelto(UsbDeviceSpec::pelto(512), QStringLiteral("PLT-USB-0012"));
    QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
    libusb_device_handle *handle = openPelto(id);
    QVERIFY(handle);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    EventThread events(m_context);
    AsyncTransfer in;
    QCOMPARE(in.submit(handle, 0x81, 512), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_testbed->urbs(id).size(), 1, scaled(3000));

    auto cpuMs = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    QElapsedTimer wall;
    const long before = cpuMs();
    wall.start();
    // A measuring window, not a wait for an event: spinning costs about one core per thread.
    QTest::qSleep(500);
    const long used = cpuMs() - before;
    QVERIFY2(used * 4 < wall.elapsed(),
             qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(used).arg(wall.elapsed())));
    QCOMPARE(in.status.load(), -1);
    libusb_cancel_transfer(in.transfer);
    QTRY_COMPARE_WITH_TIMEOUT(in.status.load(), int(LIBUSB_TRANSFER_CANCELLED), scaled(3000));
    libusb_release_interface(handle, 0);
    libusb_close(handle);
}

Q_DECLARE_METATYPE(nimbrel::test::UsbDeviceSpec)

QTEST_GUILESS_MAIN(tst_UsbTestbed)
#include "tst_usbTestbed.moc"
