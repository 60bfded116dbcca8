#pragma once

#include "DataChannel.h"
#include "Interface.h"
#include "MonCtrlChannel.h"
#include "TestSupport.h"

#include <QProcess>
#include <QStringList>

// The simulated Pelto's monitored model (tools/pelto-sim, peltosim.monitoring) as a line peer,
// joined to an Interface without a link manager: requests go to the peer, its channel-2 and
// channel-3 packets come back into the Interface's channels.
class SimModelPeer
{
public:
    explicit SimModelPeer(monitoring::Interface *iface,
                          const QString &model = QStringLiteral("models/monitored_model.json"))
        : iface(iface)
    {
        process.setWorkingDirectory(nimbrel::test::sourceDir() + "/tools/pelto-sim");
        process.start(nimbrel::test::python(), { "-m", "peltosim.monitoring", model });
        started = process.waitForStarted(nimbrel::test::scaled(10000));
        QObject::connect(iface->controlChannel(), &AbstractService::write, &context,
                         [this](DatalinkChannelId, bool, QByteArray packet) {
                             outgoing << "req " + packet.toHex();
                         });
    }
    ~SimModelPeer()
    {
        process.closeWriteChannel();
        process.waitForFinished(nimbrel::test::scaled(5000));
    }

    bool started = false;
    QList<QByteArray> outgoing;
    QList<QByteArray> channel3; // every sample packet the peer sent
    bool holdChannel3 = false;

    // One command; the packets it answers are delivered (unless held) and returned.
    QList<QByteArray> command(const QByteArray &line)
    {
        process.write(line + '\n');
        QList<QByteArray> packets;
        for (;;) {
            while (!process.canReadLine()) {
                if (!process.waitForReadyRead(nimbrel::test::scaled(10000)))
                    return packets;
            }
            const QByteArray reply = process.readLine().trimmed();
            if (reply == ".")
                break;
            if (reply.startsWith("2 ")) {
                packets << QByteArray::fromHex(reply.mid(2));
                iface->controlChannel()->dataReady(packets.last());
            } else if (reply.startsWith("3 ")) {
                packets << QByteArray::fromHex(reply.mid(2));
                channel3 << packets.last();
                if (!holdChannel3)
                    iface->dataChannel()->dataReady(packets.last());
            } else if (reply.startsWith("# ")) {
                packets << QByteArray::fromHex(reply.mid(2));
            }
        }
        return packets;
    }

    // Sends every request the Interface has made, and those its answers lead to.
    int pump()
    {
        int n = 0;
        while (!outgoing.isEmpty()) {
            command(outgoing.takeFirst());
            ++n;
        }
        return n;
    }

private:
    monitoring::Interface *iface;
    QProcess process;
    QObject context; // ends the connection with the peer
};
