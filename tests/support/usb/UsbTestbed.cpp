// GLib first: its headers name struct members "signals", which Qt's keywords would rewrite.
#include <umockdev.h>

#include "UsbTestbed.h"

#include "SimSocketPump.h"
#include "UsbDeviceEmulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace nimbrel::test {

namespace {

constexpr quint8 kBus = 1;

gboolean onHandleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer emulator)
{
    return static_cast<UsbDeviceEmulator *>(emulator)->handleIoctl(client);
}

void onClientConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer emulator)
{
    static_cast<UsbDeviceEmulator *>(emulator)->clientConnected(client);
}

QByteArray hex4(quint16 value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

QByteArray decimal3(int value)
{
    return QByteArray::number(value).rightJustified(3, '0');
}

using Pairs = QList<std::pair<QByteArray, QByteArray>>;

// What the kernel puts in sysfs for a USB device and libusb reads.
Pairs sysfsAttributes(const UsbDeviceSpec &spec, quint8 address, int minor)
{
    Pairs attributes{
        { "idVendor", hex4(spec.vendorId) },
        { "idProduct", hex4(spec.productId) },
        { "bcdDevice", hex4(spec.bcdDevice) },
        { "busnum", QByteArray::number(kBus) },
        { "devnum", QByteArray::number(address) },
        { "speed", QByteArray::number(spec.speedMbps) },
        { "bConfigurationValue", QByteArray::number(spec.configurationValue) },
        { "bNumConfigurations", "1" },
        { "bNumInterfaces", QByteArray::number(spec.interfaces.size()) },
        { "bDeviceClass", "00" },
        { "bMaxPacketSize0", "64" },
        { "version", " 2.00" },
        { "dev", "189:" + QByteArray::number(minor) },
    };
    if (!spec.serialNumber.isEmpty())
        attributes.append({ "serial", spec.serialNumber.toUtf8() });
    if (!spec.manufacturer.isEmpty())
        attributes.append({ "manufacturer", spec.manufacturer.toUtf8() });
    if (!spec.product.isEmpty())
        attributes.append({ "product", spec.product.toUtf8() });
    return attributes;
}

// The udev properties of the device (its "uevent" file); libusb's hot-plug monitor reads the node
// name from DEVNAME when the device goes.
Pairs udevProperties(const UsbDeviceSpec &spec, const QString &devNode, quint8 address, int minor)
{
    return {
        { "DEVTYPE", "usb_device" },
        { "DEVNAME", devNode.toLatin1() },
        { "BUSNUM", decimal3(kBus) },
        { "DEVNUM", decimal3(address) },
        { "MAJOR", "189" },
        { "MINOR", QByteArray::number(minor) },
        { "PRODUCT",
          QByteArray::number(spec.vendorId, 16) + '/' + QByteArray::number(spec.productId, 16) + '/'
              + QByteArray::number(spec.bcdDevice, 16) },
        { "TYPE", "0/0/0" },
    };
}

// Names and values alternating, null-terminated, as umockdev_testbed_add_devicev takes them.
std::vector<gchar *> flatten(const Pairs &pairs)
{
    std::vector<gchar *> pointers;
    for (const auto &[name, value] : pairs) {
        pointers.push_back(const_cast<gchar *>(name.constData()));
        pointers.push_back(const_cast<gchar *>(value.constData()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

class UsbTestbed::Private
{
public:
    struct Device
    {
        UsbDeviceSpec spec;
        quint8 address = 0;
        QString sysfsPath;
        QString devNode;
        UMockdevIoctlBase *handler = nullptr;
        std::unique_ptr<UsbDeviceEmulator> emulator;
        bool present = false;
    };

    ~Private()
    {
        // The testbed first: it stops umockdev's worker, so no ioctl reaches an emulator after
        // this. Then the pump (its callbacks reach the emulators), then the emulators.
        if (testbed)
            g_object_unref(testbed);
        pump.reset();
        for (auto &[id, device] : devices) {
            device->emulator.reset();
            if (device->handler)
                g_object_unref(device->handler);
        }
    }

    Device *find(int id) const
    {
        std::lock_guard lock(devicesMutex);
        const auto it = devices.find(id);
        return it == devices.end() ? nullptr : it->second.get();
    }

    void keep(int id, std::unique_ptr<Device> device)
    {
        std::lock_guard lock(devicesMutex);
        devices[id] = std::move(device);
    }

    int fail(const QString &message)
    {
        error = message;
        return -1;
    }

    UMockdevTestbed *testbed = nullptr;
    QString root;
    std::unique_ptr<SimSocketPump> pump = std::make_unique<SimSocketPump>();
    // Devices are never dropped before the testbed goes: their handlers and emulators serve
    // handles that may outlive an unplug. The mutex lets readers on other threads find them.
    mutable std::mutex devicesMutex;
    std::map<int, std::unique_ptr<Device>> devices;
    int nextId = 1;
    int nextAddress = 2; // 1 is the root hub's
    QString error;
};

UsbTestbed::UsbTestbed()
    : d(std::make_unique<Private>())
{
    if (!underUmockdev()) {
        d->error = QStringLiteral("not running under umockdev-wrapper");
        return;
    }
    d->testbed = umockdev_testbed_new();
    gchar *root = umockdev_testbed_get_root_dir(d->testbed);
    d->root = QString::fromLocal8Bit(root);
    g_free(root);
}

UsbTestbed::~UsbTestbed() = default;

bool UsbTestbed::underUmockdev()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libumockdev-preload");
}

bool UsbTestbed::isValid() const
{
    return d->testbed != nullptr;
}

QString UsbTestbed::errorString() const
{
    return d->error;
}

int UsbTestbed::addDevice(const UsbDeviceSpec &spec, const QString &simSocketPath)
{
    if (!d->testbed)
        return d->fail(d->error);
    if (d->nextAddress > 127)
        return d->fail(QStringLiteral("no USB address left on the bus"));
    const int id = d->nextId++;
    auto device = std::make_unique<Private::Device>();
    device->spec = spec;
    device->address = quint8(d->nextAddress++);
    device->devNode = QStringLiteral("/dev/bus/usb/%1/%2")
                          .arg(kBus, 3, 10, QLatin1Char('0'))
                          .arg(device->address, 3, 10, QLatin1Char('0'));
    SimSocketPump *pump = d->pump.get();
    device->emulator = std::make_unique<UsbDeviceEmulator>(
        spec, [pump, id](const QByteArray &data) { pump->send(id, data); });
    UsbDeviceEmulator *emulator = device->emulator.get();

    // The simulator first: nothing is plugged in yet if it cannot be reached.
    if (!simSocketPath.isEmpty()) {
        QString error;
        if (!pump->connectTo(
                id, simSocketPath,
                [emulator](const QByteArray &data) { emulator->deliverIn(data); },
                [emulator] { emulator->simClosed(); }, &error))
            return d->fail(error);
    }

    const int minor = (kBus - 1) * 128 + device->address - 1;
    const QByteArray descriptors = spec.descriptors();
    const Pairs attributes = sysfsAttributes(spec, device->address, minor);
    const Pairs properties = udevProperties(spec, device->devNode, device->address, minor);
    std::vector<gchar *> attributePointers = flatten(attributes);
    std::vector<gchar *> propertyPointers = flatten(properties);
    const QByteArray name = "1-" + QByteArray::number(id);
    gchar *sysfs = umockdev_testbed_add_devicev(d->testbed, "usb", name.constData(), nullptr,
                                                attributePointers.data(), propertyPointers.data());
    if (!sysfs) {
        pump->close(id);
        return d->fail(
            QStringLiteral("umockdev refused the sysfs device %1").arg(QString::fromLatin1(name)));
    }
    device->sysfsPath = QString::fromLocal8Bit(sysfs);
    umockdev_testbed_set_attribute_binary(
        d->testbed, sysfs, "descriptors",
        reinterpret_cast<guint8 *>(const_cast<char *>(descriptors.constData())),
        int(descriptors.size()));

    // The node is a FIFO: its poll readiness is how the emulator tells libusb there is a URB to
    // reap (see UsbDeviceEmulator); a plain file would always poll ready and libusb would spin.
    const QString fifo = d->root + device->devNode;
    QString error;
    QDir().mkpath(QFileInfo(fifo).path());
    if (mkfifo(QFile::encodeName(fifo).constData(), 0666) != 0)
        error = QStringLiteral("cannot make %1: %2")
                    .arg(fifo, QString::fromLocal8Bit(strerror(errno)));
    if (error.isEmpty())
        emulator->openReadiness(fifo, &error);
    if (error.isEmpty()) {
        device->handler = umockdev_ioctl_base_new();
        g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(onHandleIoctl), emulator);
        g_signal_connect(device->handler, "client-connected", G_CALLBACK(onClientConnected),
                         emulator);
        GError *gerror = nullptr;
        if (!umockdev_testbed_attach_ioctl(d->testbed, device->devNode.toLatin1().constData(),
                                           device->handler, &gerror)) {
            error = QStringLiteral("cannot attach the ioctl handler: %1")
                        .arg(QString::fromUtf8(gerror->message));
            g_error_free(gerror);
        }
    }
    if (!error.isEmpty()) {
        pump->close(id);
        QFile::remove(fifo);
        umockdev_testbed_remove_device(d->testbed, sysfs);
        g_free(sysfs);
        d->keep(id, std::move(device));
        return d->fail(error);
    }
    device->present = true;
    umockdev_testbed_uevent(d->testbed, sysfs, "add");
    g_free(sysfs);
    d->keep(id, std::move(device));
    return id;
}

bool UsbTestbed::removeDevice(int id)
{
    Private::Device *device = d->find(id);
    if (!device || !device->present)
        return false;
    device->present = false;
    // The order of a real unplug: transfers fail first, then the kernel announces the removal
    // (the uevent needs the sysfs entry to describe the device), then the entry and node go.
    device->emulator->unplug();
    d->pump->close(id);
    const QByteArray sysfs = device->sysfsPath.toLocal8Bit();
    umockdev_testbed_uevent(d->testbed, sysfs.constData(), "remove");
    QFile::remove(d->root + device->devNode);
    umockdev_testbed_remove_device(d->testbed, sysfs.constData());
    return true;
}

void UsbTestbed::setHoldOut(int id, bool hold)
{
    if (Private::Device *device = d->find(id))
        device->emulator->setHold(hold ? -1 : 0);
}

void UsbTestbed::holdNextOut(int id, int count)
{
    if (Private::Device *device = d->find(id))
        device->emulator->setHold(qMax(0, count));
}

void UsbTestbed::failNextIn(int id, int errnoValue, int count)
{
    if (Private::Device *device = d->find(id))
        device->emulator->failNextIn(errnoValue, count);
}

QList<UsbUrbRecord> UsbTestbed::urbs(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->emulator->records() : QList<UsbUrbRecord>();
}

void UsbTestbed::clearUrbs(int id)
{
    if (Private::Device *device = d->find(id))
        device->emulator->clearRecords();
}

QList<int> UsbTestbed::claimedInterfaces(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->emulator->claimedInterfaces() : QList<int>();
}

int UsbTestbed::configuration(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->emulator->configuration() : -1;
}

int UsbTestbed::openHandles(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->emulator->openHandles() : 0;
}

bool UsbTestbed::simConnected(int id) const
{
    return d->pump->isConnected(id);
}

quint8 UsbTestbed::busNumber(int id) const
{
    return d->find(id) ? kBus : 0;
}

quint8 UsbTestbed::deviceAddress(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->address : 0;
}

QString UsbTestbed::sysfsPath(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->sysfsPath : QString();
}

QString UsbTestbed::devNode(int id) const
{
    const Private::Device *device = d->find(id);
    return device ? device->devNode : QString();
}

QStringList UsbTestbed::unhandledRequests() const
{
    QStringList all;
    std::lock_guard lock(d->devicesMutex);
    for (const auto &[id, device] : d->devices)
        all << device->emulator->unhandledRequests();
    return all;
}

} // namespace nimbrel::test
