#pragma once

#include "UsbDeviceSpec.h"
#include "UsbUrbRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>

typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;
typedef struct _GObject GObject;

namespace nimbrel::test {

// The usbdevfs side of one simulated device: answers the ioctls of every handle open on its node,
// keeps its URBs and records them, and signals readiness through the node (a FIFO kept full while
// nothing can be reaped, drained when something can, as poll() on a real usbfs handle reports).
//
// handleIoctl() and clientVanished() run on umockdev's worker thread, deliverIn() and simClosed()
// on the pump thread, the rest on the test's thread; one mutex guards the state. Completing an
// ioctl happens outside the mutex.
class UsbDeviceEmulator
{
public:
    using OutSink = std::function<void(const QByteArray &data)>;

    UsbDeviceEmulator(const UsbDeviceSpec &spec, OutSink outSink);
    ~UsbDeviceEmulator();
    UsbDeviceEmulator(const UsbDeviceEmulator &) = delete;
    UsbDeviceEmulator &operator=(const UsbDeviceEmulator &) = delete;

    // Opens the node's FIFO (made by the caller) and makes it "nothing to reap".
    bool openReadiness(const QString &fifoPath, QString *error);

    // umockdev worker thread
    bool handleIoctl(UMockdevIoctlClient *client);
    void clientConnected(UMockdevIoctlClient *client);

    // pump thread
    void deliverIn(const QByteArray &data);
    void simClosed();

    // test thread
    void unplug();
    void setHold(int count); // -1: every OUT URB, 0: none, n: the next n
    void failNextIn(int errnoValue, int count);

    QList<UsbUrbRecord> records() const;
    void clearRecords();
    QList<int> claimedInterfaces() const;
    int configuration() const;
    int openHandles() const;
    QStringList unhandledRequests() const;

private:
    struct Urb
    {
        UMockdevIoctlData *header = nullptr; // the usbdevfs_urb, resolved (own reference)
        UMockdevIoctlData *buffer = nullptr; // its buffer (own reference), null when empty
        quint64 clientAddress = 0;
        UMockdevIoctlClient *client = nullptr;
        int sequence = 0;
    };
    struct Reply
    {
        long result = 0;
        int error = 0;
    };

    void clientVanished(UMockdevIoctlClient *client);
    Reply submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Reply discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Reply reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    Reply claim(UMockdevIoctlClient *client, unsigned interface);
    Reply release(UMockdevIoctlClient *client, unsigned interface);
    Reply setConfiguration(int value);
    Reply setInterface(UMockdevIoctlData *arg);

    std::set<int> &claimsOf(UMockdevIoctlClient *client);
    static void clientFinalized(void *self, GObject *client);
    bool endpointType(quint8 address, quint8 *attributes, int *interface) const;
    UsbUrbRecord *record(int sequence);
    void complete(Urb *urb, int status, int actualLength);
    void fillPendingIn();
    void takeOut(Urb *urb);
    void updateReadiness();
    static void release(Urb *urb);

    const UsbDeviceSpec m_spec;
    const OutSink m_outSink;
    mutable std::mutex m_mutex;
    int m_readinessFd = -1;
    bool m_ready = true;
    bool m_gone = false;
    int m_configuration = 0;
    int m_hold = 0;
    int m_failInCount = 0;
    int m_failInErrno = 0;
    QByteArray m_inBuffer; // what the simulator sent that no IN URB took yet
    std::map<UMockdevIoctlClient *, std::set<int>> m_clients; // open handles and their claims
    std::deque<Urb *> m_pendingIn;
    std::deque<Urb *> m_heldOut;
    std::deque<Urb *> m_completed;
    QList<UsbUrbRecord> m_records;
    int m_recordBase = 0; // sequence of m_records.first()
    int m_nextSequence = 0;
    QStringList m_unhandled;
};

} // namespace nimbrel::test
