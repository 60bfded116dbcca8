#include "DataChannel.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDataChannel, "Monitoring.DataChannel")

namespace monitoring {

namespace {

constexpr uint16_t DataChannelId = 3;

} // namespace

DataChannel::DataChannel(QObject *parent, DatalinkManager *manager)
    : AbstractService(parent, DataChannelId, false, manager)
{ }

DataChannel::~DataChannel() = default;

void DataChannel::addSubscription(uint16_t nodeIndex, uint16_t dataOffset, uint16_t valueSize,
                                  bool withOffsetField, SampleReceiver *node)
{
    samples.addSubscription(nodeIndex, dataOffset, valueSize, withOffsetField, node);
}

void DataChannel::removeSubscription(uint16_t nodeIndex, uint16_t dataOffset)
{
    samples.removeSubscription(nodeIndex, dataOffset);
}

void DataChannel::clearSubscriptions()
{
    samples.clearSubscriptions();
}

void DataChannel::dataReady(QByteArray packet)
{
    samples.receive(reinterpret_cast<const uint8_t *>(packet.constData()), size_t(packet.size()),
                    [](SampleStream::Packet what, int16_t command, uint16_t length) {
                        switch (what) {
                        case SampleStream::Packet::Parsed:
                            break;
                        case SampleStream::Packet::Unsupported:
                            qCDebug(lcDataChannel) << "eMonitor: unsupported command received";
                            break;
                        case SampleStream::Packet::Malformed:
                            qCDebug(lcDataChannel) << "eMonitor: Uncomplete package received. "
                                                   << "command" << command << "length" << length;
                            break;
                        }
                    });
}

} // namespace monitoring
