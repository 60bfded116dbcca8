#include "DataLinkTest.h"

#include <QLoggingCategory>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcDataLinkTest, "Device.DataLinkTest")

namespace {
// Shared by every instance for the life of the process.
int rampStart = 0;
} // namespace

DataLinkTest::DataLinkTest(QObject *parent, uint16_t channelId, bool isReliable,
                           DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
{
}

void DataLinkTest::dataReady(QByteArray) {}
void DataLinkTest::start() {}
void DataLinkTest::pause() {}
void DataLinkTest::initialize() {}

void DataLinkTest::sendTest()
{
    QByteArray packet(4 + rampSize, '\0');
    for (int i = 0; i < rampSize; ++i)
        packet[4 + i] = char((rampStart + i) & 0xFF);
    ++rampStart;
    if (m_counter % 1000 == 0)
        qCDebug(lcDataLinkTest) << "Count:" << m_counter;
    qToLittleEndian<quint32>(m_counter, packet.data());
    ++m_counter;
    emit write(channelId, isReliable, packet);
}
