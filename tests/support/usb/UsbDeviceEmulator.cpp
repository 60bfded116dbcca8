// GLib first: its headers name struct members "signals", which Qt's keywords would rewrite.
#include <umockdev.h>

#include "UsbDeviceEmulator.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcUsbTestbed, "Test.UsbTestbed", QtWarningMsg)

namespace nimbrel::test {

namespace {

// What a current kernel reports, less memory mapping and scatter-gather, which the testbed does
// not offer.
constexpr quint32 kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION
    | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// The client memory behind a pointer-sized ioctl argument, as a local copy that is written back
// when the ioctl completes. Null (and errno EFAULT to report) when it cannot be read.
UMockdevIoctlData *resolve(UMockdevIoctlData *data, size_t offset, size_t length)
{
    GError *error = nullptr;
    UMockdevIoctlData *resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (error) {
        qCWarning(lcUsbTestbed) << "cannot read the ioctl argument:" << error->message;
        g_error_free(error);
    }
    return resolved;
}

template<typename T> bool readArgument(UMockdevIoctlData *arg, T *value)
{
    UMockdevIoctlData *resolved = resolve(arg, 0, sizeof(T));
    if (!resolved)
        return false;
    std::memcpy(value, resolved->data, sizeof(T));
    g_object_unref(resolved);
    return true;
}

QString requestName(gulong request)
{
    return QStringLiteral("USBDEVFS nr %1 (request 0x%2)")
        .arg(_IOC_NR(request))
        .arg(request, 0, 16);
}

} // namespace

UsbDeviceEmulator::UsbDeviceEmulator(const UsbDeviceSpec &spec, OutSink outSink)
    : m_spec(spec)
    , m_outSink(std::move(outSink))
    , m_configuration(spec.configurationValue)
{ }

UsbDeviceEmulator::~UsbDeviceEmulator()
{
    // umockdev's worker has stopped by now (UsbTestbed releases the testbed first), but it stops
    // inside GLib, where ThreadSanitizer sees no ordering: taking the mutex orders this after the
    // worker's last clientVanished().
    std::lock_guard lock(m_mutex);
    for (std::deque<Urb *> *queue : { &m_pendingIn, &m_heldOut, &m_completed }) {
        for (Urb *urb : *queue)
            release(urb);
    }
    for (const auto &[client, claims] : m_clients)
        g_object_weak_unref(G_OBJECT(client), &UsbDeviceEmulator::clientFinalized, this);
    if (m_readinessFd >= 0)
        ::close(m_readinessFd);
}

bool UsbDeviceEmulator::openReadiness(const QString &fifoPath, QString *error)
{
    std::lock_guard lock(m_mutex);
    m_readinessFd
        = ::open(QFile::encodeName(fifoPath).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_readinessFd < 0) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(fifoPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_ready = true;
    updateReadiness();
    return true;
}

void UsbDeviceEmulator::updateReadiness()
{
    const bool ready = !m_completed.empty();
    if (ready == m_ready || m_readinessFd < 0)
        return;
    m_ready = ready;
    static char bytes[65536];
    if (ready) {
        while (::read(m_readinessFd, bytes, sizeof bytes) > 0) { }
    } else {
        // Full to the last byte: a pipe with any room left would still poll writable.
        while (::write(m_readinessFd, bytes, sizeof bytes) > 0) { }
        while (::write(m_readinessFd, bytes, 1) > 0) { }
    }
}

bool UsbDeviceEmulator::handleIoctl(UMockdevIoctlClient *client)
{
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    // The reply is completed under the mutex: umockdev copies the memory it writes back to the
    // client while completing, and the pump thread may be filling an IN URB at the same time.
    std::lock_guard lock(m_mutex);
    Reply reply{ -1, ENOTTY };
    auto fail = [&](int error) { reply = { -1, error }; };
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *caps = resolve(arg, 0, sizeof(quint32));
        if (!caps) {
            fail(EFAULT);
            break;
        }
        std::memcpy(caps->data, &kCapabilities, sizeof kCapabilities);
        g_object_unref(caps);
        reply = { 0, 0 };
        break;
    }
    case USBDEVFS_GET_SPEED:
        reply = { m_spec.speedMbps >= 480 ? 3 : m_spec.speedMbps >= 12 ? 2 : 1, 0 };
        break;
    case USBDEVFS_SETCONFIGURATION: {
        int value = 0;
        reply = readArgument(arg, &value) ? setConfiguration(value) : Reply{ -1, EFAULT };
        break;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        unsigned interface = 0;
        if (!readArgument(arg, &interface))
            fail(EFAULT);
        else
            reply = request == USBDEVFS_CLAIMINTERFACE ? claim(client, interface)
                                                       : release(client, interface);
        break;
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
        // No kernel driver is ever bound here, so disconnect-and-claim is a plain claim.
        usbdevfs_disconnect_claim request{};
        reply
            = readArgument(arg, &request) ? claim(client, request.interface) : Reply{ -1, EFAULT };
        break;
    }
    case USBDEVFS_GETDRIVER:
        fail(m_gone ? ENODEV : ENODATA);
        break;
    case USBDEVFS_IOCTL: {
        usbdevfs_ioctl command{};
        if (!readArgument(arg, &command))
            fail(EFAULT);
        else if (m_gone)
            fail(ENODEV);
        else if (command.ioctl_code == int(USBDEVFS_DISCONNECT))
            fail(ENODATA); // no driver to detach
        else if (command.ioctl_code == int(USBDEVFS_CONNECT))
            reply = { 0, 0 }; // nothing to attach
        else
            m_unhandled
                << QStringLiteral("USBDEVFS_IOCTL with code 0x%1").arg(command.ioctl_code, 0, 16);
        break;
    }
    case USBDEVFS_SETINTERFACE:
        reply = setInterface(arg);
        break;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP: {
        unsigned endpoint = 0;
        quint8 attributes = 0;
        int interface = -1;
        if (!readArgument(arg, &endpoint))
            fail(EFAULT);
        else if (m_gone)
            fail(ENODEV);
        else if (!endpointType(quint8(endpoint), &attributes, &interface))
            fail(ENOENT);
        else
            reply = { 0, 0 };
        break;
    }
    case USBDEVFS_RESET:
        reply = m_gone ? Reply{ -1, ENODEV } : Reply{ 0, 0 };
        break;
    case USBDEVFS_SUBMITURB:
        reply = submit(client, arg);
        break;
    case USBDEVFS_DISCARDURB:
        reply = discard(client, arg);
        break;
    case USBDEVFS_REAPURBNDELAY:
        reply = reap(client, arg);
        break;
    default:
        // Blocking reap (USBDEVFS_REAPURB) included: libusb never blocks in the kernel, and
        // answering it as "nothing yet" would hide a host that does.
        m_unhandled << requestName(request);
        qCWarning(lcUsbTestbed) << "unhandled ioctl" << requestName(request);
        break;
    }
    qCDebug(lcUsbTestbed) << requestName(request) << "->" << reply.result << reply.error;
    umockdev_ioctl_client_complete(client, reply.result, reply.error);
    return true;
}

void UsbDeviceEmulator::clientConnected(UMockdevIoctlClient *client)
{
    qCDebug(lcUsbTestbed) << "handle opened";
    std::lock_guard lock(m_mutex);
    claimsOf(client);
}

std::set<int> &UsbDeviceEmulator::claimsOf(UMockdevIoctlClient *client)
{
    const auto it = m_clients.find(client);
    if (it != m_clients.end())
        return it->second;
    // umockdev tells of a closed handle only by dropping its client object: the entry goes when
    // the object is finalized, before its address can be reused.
    g_object_weak_ref(G_OBJECT(client), &UsbDeviceEmulator::clientFinalized, this);
    return m_clients[client];
}

void UsbDeviceEmulator::clientFinalized(gpointer self, GObject *client)
{
    static_cast<UsbDeviceEmulator *>(self)->clientVanished(
        reinterpret_cast<UMockdevIoctlClient *>(client));
}

void UsbDeviceEmulator::clientVanished(UMockdevIoctlClient *client)
{
    qCDebug(lcUsbTestbed) << "handle closed";
    std::lock_guard lock(m_mutex);
    if (!m_clients.erase(client))
        return;
    for (std::deque<Urb *> *queue : { &m_pendingIn, &m_heldOut, &m_completed }) {
        for (auto it = queue->begin(); it != queue->end();) {
            if ((*it)->client != client) {
                ++it;
                continue;
            }
            release(*it);
            it = queue->erase(it);
        }
    }
    updateReadiness();
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::setConfiguration(int value)
{
    if (m_gone)
        return { -1, ENODEV };
    for (const auto &[client, claims] : m_clients) {
        if (!claims.empty())
            return { -1, EBUSY };
    }
    if (value != m_spec.configurationValue && value > 0)
        return { -1, EINVAL };
    m_configuration = value > 0 ? value : 0;
    return { 0, 0 };
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::claim(UMockdevIoctlClient *client, unsigned interface)
{
    if (m_gone)
        return { -1, ENODEV };
    if (m_configuration != m_spec.configurationValue
        || interface >= unsigned(m_spec.interfaces.size()))
        return { -1, ENOENT };
    for (const auto &[other, claims] : m_clients) {
        if (other != client && claims.count(int(interface)))
            return { -1, EBUSY };
    }
    claimsOf(client).insert(int(interface));
    return { 0, 0 };
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::release(UMockdevIoctlClient *client, unsigned interface)
{
    if (m_gone)
        return { -1, ENODEV };
    if (!claimsOf(client).erase(int(interface)))
        return { -1, EINVAL };
    return { 0, 0 };
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::setInterface(UMockdevIoctlData *arg)
{
    usbdevfs_setinterface setting{};
    if (!readArgument(arg, &setting))
        return { -1, EFAULT };
    if (m_gone)
        return { -1, ENODEV };
    if (setting.interface >= unsigned(m_spec.interfaces.size()) || setting.altsetting != 0)
        return { -1, EINVAL };
    return { 0, 0 };
}

bool UsbDeviceEmulator::endpointType(quint8 address, quint8 *attributes, int *interface) const
{
    if (m_configuration != m_spec.configurationValue)
        return false;
    for (qsizetype number = 0; number < m_spec.interfaces.size(); ++number) {
        for (const UsbEndpointSpec &endpoint : m_spec.interfaces.at(number).endpoints) {
            if (endpoint.address == address) {
                *attributes = endpoint.attributes;
                *interface = int(number);
                return true;
            }
        }
    }
    return false;
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::submit(UMockdevIoctlClient *client,
                                                   UMockdevIoctlData *arg)
{
    UMockdevIoctlData *header = resolve(arg, 0, sizeof(usbdevfs_urb));
    if (!header)
        return { -1, EFAULT };
    auto *urb = reinterpret_cast<usbdevfs_urb *>(header->data);
    auto refuse = [&](int error) {
        g_object_unref(header);
        return Reply{ -1, error };
    };
    if (m_gone)
        return refuse(ENODEV);
    if (urb->buffer_length < 0)
        return refuse(EINVAL);
    quint8 attributes = 0;
    int interface = -1;
    if (urb->type == USBDEVFS_URB_TYPE_ISO)
        return refuse(EINVAL);
    if (urb->type != USBDEVFS_URB_TYPE_CONTROL) {
        if (!endpointType(urb->endpoint, &attributes, &interface))
            return refuse(ENOENT);
        if ((attributes & 0x03) != 0x02 && (attributes & 0x03) != 0x03)
            return refuse(EINVAL);
        // Like the kernel, a URB on an interface nobody claimed claims it for this handle.
        for (const auto &[other, claims] : m_clients) {
            if (other != client && claims.count(interface))
                return refuse(EBUSY);
        }
        claimsOf(client).insert(interface);
    }

    auto *entry = new Urb;
    entry->header = header;
    entry->clientAddress = header->client_addr;
    entry->client = client;
    entry->sequence = m_nextSequence++;
    if (urb->buffer_length > 0) {
        entry->buffer = resolve(header, offsetof(usbdevfs_urb, buffer), size_t(urb->buffer_length));
        if (!entry->buffer) {
            release(entry);
            --m_nextSequence;
            return { -1, EFAULT };
        }
    }

    UsbUrbRecord record;
    record.sequence = entry->sequence;
    record.type = urb->type;
    record.endpoint = urb->endpoint;
    record.flags = urb->flags;
    record.length = urb->buffer_length;
    const bool in = urb->endpoint & 0x80;
    if (!in && entry->buffer)
        record.data
            = QByteArray(reinterpret_cast<const char *>(entry->buffer->data), urb->buffer_length);
    m_records << record;

    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        // No control requests are modelled: the device stalls them.
        complete(entry, -EPIPE, 0);
    } else if (in) {
        if (m_failInCount > 0) {
            --m_failInCount;
            complete(entry, -m_failInErrno, 0);
        } else {
            m_pendingIn.push_back(entry);
            fillPendingIn();
        }
    } else if (m_hold != 0) {
        if (m_hold > 0)
            --m_hold;
        // Records may have been cleared since the URB was submitted.
        if (UsbUrbRecord *held = this->record(entry->sequence))
            held->held = true;
        m_heldOut.push_back(entry);
    } else {
        takeOut(entry);
    }
    return { 0, 0 };
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::discard(UMockdevIoctlClient *client,
                                                    UMockdevIoctlData *arg)
{
    // The argument is the URB's address itself, not a pointer to something to read.
    quint64 address = 0;
    std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, size_t(arg->data_len)));
    for (std::deque<Urb *> *queue : { &m_pendingIn, &m_heldOut }) {
        const auto it = std::find_if(queue->begin(), queue->end(), [&](const Urb *urb) {
            return urb->client == client && urb->clientAddress == address;
        });
        if (it == queue->end())
            continue;
        Urb *urb = *it;
        queue->erase(it);
        if (UsbUrbRecord *entry = record(urb->sequence))
            entry->discarded = true;
        complete(urb, -ENOENT, 0);
        return { 0, 0 };
    }
    return { -1, EINVAL };
}

UsbDeviceEmulator::Reply UsbDeviceEmulator::reap(UMockdevIoctlClient *client,
                                                 UMockdevIoctlData *arg)
{
    const auto it = std::find_if(m_completed.begin(), m_completed.end(),
                                 [&](const Urb *urb) { return urb->client == client; });
    if (it == m_completed.end())
        return { -1, m_gone ? ENODEV : EAGAIN };
    // The argument points to the caller's URB pointer: set it to the completed URB, whose
    // status, length and (IN) data go back to the client with it.
    UMockdevIoctlData *pointer = resolve(arg, 0, sizeof(void *));
    if (!pointer)
        return { -1, EFAULT };
    Urb *urb = *it;
    m_completed.erase(it);
    umockdev_ioctl_data_set_ptr(pointer, 0, urb->header);
    g_object_unref(pointer);
    if (UsbUrbRecord *entry = record(urb->sequence))
        entry->reaped = true;
    release(urb);
    updateReadiness();
    return { 0, 0 };
}

UsbUrbRecord *UsbDeviceEmulator::record(int sequence)
{
    const int index = sequence - m_recordBase;
    return index >= 0 && index < m_records.size() ? &m_records[index] : nullptr;
}

void UsbDeviceEmulator::complete(Urb *urb, int status, int actualLength)
{
    auto *header = reinterpret_cast<usbdevfs_urb *>(urb->header->data);
    header->status = status;
    header->actual_length = actualLength;
    if (UsbUrbRecord *entry = record(urb->sequence)) {
        entry->completed = true;
        entry->status = status;
        entry->actualLength = actualLength;
    }
    m_completed.push_back(urb);
    updateReadiness();
}

void UsbDeviceEmulator::takeOut(Urb *urb)
{
    const auto *header = reinterpret_cast<const usbdevfs_urb *>(urb->header->data);
    if (urb->buffer && !m_gone)
        m_outSink(
            QByteArray(reinterpret_cast<const char *>(urb->buffer->data), header->buffer_length));
    complete(urb, 0, header->buffer_length);
}

void UsbDeviceEmulator::fillPendingIn()
{
    while (!m_pendingIn.empty() && !m_inBuffer.isEmpty()) {
        Urb *urb = m_pendingIn.front();
        m_pendingIn.pop_front();
        const auto *header = reinterpret_cast<const usbdevfs_urb *>(urb->header->data);
        const int length = int(std::min<qsizetype>(header->buffer_length, m_inBuffer.size()));
        if (length > 0)
            std::memcpy(urb->buffer->data, m_inBuffer.constData(), size_t(length));
        if (UsbUrbRecord *entry = record(urb->sequence))
            entry->data = QByteArray(m_inBuffer.constData(), length); // not shared with the buffer
        m_inBuffer.remove(0, length);
        complete(urb, 0, length);
    }
}

void UsbDeviceEmulator::release(Urb *urb)
{
    if (urb->buffer)
        g_object_unref(urb->buffer);
    if (urb->header)
        g_object_unref(urb->header);
    delete urb;
}

void UsbDeviceEmulator::deliverIn(const QByteArray &data)
{
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return;
    // A copy: the bytes stay the pump thread's, and a shared buffer would be let go of on two
    // threads, ordered only by Qt's reference count, which ThreadSanitizer cannot see.
    m_inBuffer.append(data.constData(), data.size());
    fillPendingIn();
}

void UsbDeviceEmulator::simClosed()
{
    qCDebug(lcUsbTestbed) << "the simulator closed the USB socket";
}

void UsbDeviceEmulator::unplug()
{
    std::lock_guard lock(m_mutex);
    m_gone = true;
    m_inBuffer.clear();
    std::deque<Urb *> inFlight;
    inFlight.insert(inFlight.end(), m_pendingIn.begin(), m_pendingIn.end());
    inFlight.insert(inFlight.end(), m_heldOut.begin(), m_heldOut.end());
    m_pendingIn.clear();
    m_heldOut.clear();
    std::sort(inFlight.begin(), inFlight.end(),
              [](const Urb *a, const Urb *b) { return a->sequence < b->sequence; });
    for (Urb *urb : inFlight)
        complete(urb, -ENODEV, 0);
}

void UsbDeviceEmulator::setHold(int count)
{
    std::lock_guard lock(m_mutex);
    m_hold = count;
    if (count != 0)
        return;
    // The device takes what it held back, in order.
    while (!m_heldOut.empty()) {
        Urb *urb = m_heldOut.front();
        m_heldOut.pop_front();
        takeOut(urb);
    }
}

void UsbDeviceEmulator::failNextIn(int errnoValue, int count)
{
    std::lock_guard lock(m_mutex);
    m_failInErrno = errnoValue;
    m_failInCount = count;
    while (m_failInCount > 0 && !m_pendingIn.empty()) {
        Urb *urb = m_pendingIn.front();
        m_pendingIn.pop_front();
        --m_failInCount;
        complete(urb, -errnoValue, 0);
    }
}

QList<UsbUrbRecord> UsbDeviceEmulator::records() const
{
    std::lock_guard lock(m_mutex);
    // A deep copy: a shared list would let the reader's copy race with the handler thread's
    // in-place updates, since Qt's detach check is not a synchronising load.
    return QList<UsbUrbRecord>(m_records.cbegin(), m_records.cend());
}

void UsbDeviceEmulator::clearRecords()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_recordBase = m_nextSequence;
}

QList<int> UsbDeviceEmulator::claimedInterfaces() const
{
    std::lock_guard lock(m_mutex);
    std::set<int> all;
    for (const auto &[client, claims] : m_clients)
        all.insert(claims.begin(), claims.end());
    return QList<int>(all.begin(), all.end());
}

int UsbDeviceEmulator::configuration() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration;
}

int UsbDeviceEmulator::openHandles() const
{
    std::lock_guard lock(m_mutex);
    return int(m_clients.size());
}

QStringList UsbDeviceEmulator::unhandledRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_unhandled;
}

} // namespace nimbrel::test
