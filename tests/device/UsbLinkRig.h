#pragma once

#include "TestSupport.h"
#include "USBDataLink.h"
#include "UsbEventLoop.h"
#include "UsbTestbed.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// pelto-sim serving its USB socket, started with posix_spawn. Not QProcess: Qt 6.4 starts a
// child in the parent's memory, which leaves ThreadSanitizer believing the test process itself
// forked, so the next thread it starts kills it (and with die_after_fork=0 it would stop checking
// the test's main thread). posix_spawn is understood by the sanitizer.
class UsbPeltoSim
{
public:
    ~UsbPeltoSim()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 300 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0)
            ::close(m_stdout);
    }

    bool start(const QString &socketPath, const QString &serial)
    {
        using namespace nimbrel::test;
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        const QList<QByteArray> arguments{
            python().toLocal8Bit(),
            (sourceDir() + QStringLiteral("/tools/pelto-sim/pelto_sim.py")).toLocal8Bit(),
            "--address",
            "127.0.0.1",
            "--tls-port",
            "0",
            "--udp-port",
            "0",
            "--control-port",
            "0",
            "--usb-socket",
            socketPath.toLocal8Bit(),
            "--serial",
            serial.toLocal8Bit(),
            "-q"
        };
        QList<char *> argv;
        for (const QByteArray &argument : arguments)
            argv.append(const_cast<char *>(argument.constData()));
        argv.append(nullptr);
        const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        m_stdout = pipeFds[0];
        if (result != 0) {
            m_pid = -1;
            return false;
        }
        // The first line says READY and names the ports.
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (!out.contains('\n') && timer.elapsed() < scaled(20000)) {
            pollfd fd{ m_stdout, POLLIN, 0 };
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_stdout, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, n);
        }
        const QByteArray line = out.left(out.indexOf('\n'));
        if (!line.startsWith("READY "))
            return false;
        m_controlPort = quint16(
            QJsonDocument::fromJson(line.mid(6)).object().value(QStringLiteral("control")).toInt());
        return m_controlPort != 0;
    }

    // One command on the control socket; the reply object ("ok" false on any failure).
    QJsonObject command(const QString &name, QJsonObject fields = {})
    {
        using namespace nimbrel::test;
        fields.insert(QStringLiteral("cmd"), name);
        if (m_control.state() != QAbstractSocket::ConnectedState) {
            m_control.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
            if (!m_control.waitForConnected(scaled(5000)))
                return {};
        }
        m_control.write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
        m_control.waitForBytesWritten(scaled(5000));
        QByteArray reply;
        while (!reply.contains('\n')) {
            if (!m_control.bytesAvailable() && !m_control.waitForReadyRead(scaled(10000)))
                return {};
            reply += m_control.readAll();
        }
        return QJsonDocument::fromJson(reply.left(reply.indexOf('\n'))).object();
    }

    QJsonArray frames(int channel)
    {
        return command(QStringLiteral("frames"),
                       { { QStringLiteral("since"), 0 }, { QStringLiteral("channel"), channel } })
            .value(QStringLiteral("frames"))
            .toArray();
    }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    quint16 m_controlPort = 0;
    QTcpSocket m_control;
};

// Records what a link reports, on the test's thread: the link signals from its writer and event
// threads, so every connection here is queued (a direct QSignalSpy would append from there).
class UsbLinkRecorder : public QObject
{
    Q_OBJECT

public:
    struct Frame
    {
        uint16_t channel;
        QByteArray payload;
    };
    struct Deleted
    {
        void *handle = nullptr;
        void *device = nullptr;
        int interfaceNumber = -2;
        void *transferIn = nullptr;
        void *transferOut = nullptr;
    };

    explicit UsbLinkRecorder(USBDataLink *link)
    {
        connect(
            link, &AbstractDataLink::datalinkStateSignal, this,
            [this](AbstractDataLink::LinkType, AbstractDataLink::DatalinkState state) {
                states.append(state);
            },
            Qt::QueuedConnection);
        connect(
            link, &AbstractDataLink::packetReceived, this,
            [this](uint16_t channel, QByteArray payload) {
                frames.append({ channel, payload });
            },
            Qt::QueuedConnection);
        // Emitted by the destructor on the test's thread; handled at once, the way the factory
        // frees the libusb objects.
        connect(
            link, &USBDataLink::DeleteUsb, this,
            [this](void *handle, void *device, int interfaceNumber, void *in, void *out) {
                deleted = { handle, device, interfaceNumber, in, out };
                ++deleteUsbCount;
                UsbEventLoop::release(handle, in, out, interfaceNumber);
            },
            Qt::DirectConnection);
    }

    bool sawState(AbstractDataLink::DatalinkState state) const { return states.contains(state); }
    QList<QByteArray> payloadsOn(uint16_t channel) const
    {
        QList<QByteArray> result;
        for (const Frame &f : frames)
            if (f.channel == channel)
                result.append(f.payload);
        return result;
    }

    QList<AbstractDataLink::DatalinkState> states;
    QList<Frame> frames;
    Deleted deleted;
    int deleteUsbCount = 0;
};

// One simulated Pelto on a umockdev USB bus with pelto-sim behind it, a libusb context with its
// event thread, and the link under test. Members are destroyed in reverse order: the link first,
// then libusb, then the testbed (it must outlive libusb_exit).
class UsbLinkRig
{
public:
    static UsbLinkTimings fastTimings()
    {
        UsbLinkTimings timings;
        timings.reliableDeadlineMs = 300;
        timings.cancelWaitMs = 200;
        timings.flushMs = 200;
        return timings;
    }

    ~UsbLinkRig() { destroyLink(); }

    // Starts pelto-sim (unless `withSim` is false), plugs in the device and starts libusb.
    bool plug(const nimbrel::test::UsbDeviceSpec &spec, bool withSim = true)
    {
        if (!testbed.isValid()) {
            why = testbed.errorString();
            return false;
        }
        QString socketPath;
        if (withSim) {
            socketPath = QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("pelto-usb.sock"));
            sim = std::make_unique<UsbPeltoSim>();
            if (!sim->start(socketPath, QStringLiteral("PLT-USB-0001"))) {
                why = QStringLiteral("pelto-sim did not start");
                return false;
            }
        }
        deviceId = testbed.addDevice(spec, socketPath);
        if (deviceId < 0) {
            why = testbed.errorString();
            return false;
        }
        usb = std::make_unique<UsbEventLoop>();
        if (!usb->isValid()) {
            why = QStringLiteral("libusb_init: ") + usb->initError();
            return false;
        }
        return true;
    }

    // Opens the device and builds the link (not claimed, not started).
    USBDataLink *makeLink(const UsbLinkTimings &timings = fastTimings())
    {
        const UsbEventLoop::Opened opened = usb->open(0x1FC9, 0x828A, &why);
        if (!opened.isValid())
            return nullptr;
        link = new USBDataLink(opened.handle, opened.configuration, usb->contextField(),
                               opened.device, nullptr, timings);
        recorder = std::make_unique<UsbLinkRecorder>(link);
        return link;
    }

    // Opens, claims and starts the link; true when it reports Connected.
    bool connectLink(const UsbLinkTimings &timings = fastTimings())
    {
        if (!makeLink(timings))
            return false;
        if (link->claimDatalinkInterface()) {
            why = QStringLiteral("claim failed");
            return false;
        }
        link->startReadTransfer();
        return nimbrel::test::waitFor(
            [this] { return recorder->sawState(AbstractDataLink::Connected); }, 5000);
    }

    // Deletes the link and tells how long its destructor ran.
    qint64 destroyLink()
    {
        if (!link)
            return 0;
        QElapsedTimer timer;
        timer.start();
        delete link.data();
        return timer.elapsed();
    }

    QList<nimbrel::test::UsbUrbRecord> urbsOn(quint8 endpoint) const
    {
        QList<nimbrel::test::UsbUrbRecord> result;
        for (const nimbrel::test::UsbUrbRecord &urb : testbed.urbs(deviceId))
            if (urb.endpoint == endpoint)
                result.append(urb);
        return result;
    }

    // Payloads of the frames pelto-sim received on `channel`, in order.
    QList<QByteArray> simPayloads(int channel)
    {
        QList<QByteArray> result;
        for (const QJsonValue &frame : sim->frames(channel))
            result.append(QByteArray::fromHex(
                frame.toObject().value(QStringLiteral("payload")).toString().toLatin1()));
        return result;
    }

    nimbrel::test::UsbTestbed testbed;
    std::unique_ptr<UsbPeltoSim> sim;
    std::unique_ptr<UsbEventLoop> usb;
    int deviceId = -1;
    QPointer<USBDataLink> link;
    std::unique_ptr<UsbLinkRecorder> recorder;
    QString why;
};

// A device frame written out field by field (little-endian), independent of the host's framing.
inline QByteArray usbFrame(quint16 channel, const QByteArray &payload)
{
    const int length = int(payload.size()) + 6;
    QByteArray f;
    f.append(char(0xCD)).append(char(0xAB));
    f.append(char(channel & 0xFF)).append(char(channel >> 8));
    f.append(char(length & 0xFF)).append(char(length >> 8));
    return f + payload;
}

// `size` bytes that never repeat within a frame's reach and never start with zero.
inline QByteArray usbPattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed * 7) % 253 + 1);
    return bytes;
}
