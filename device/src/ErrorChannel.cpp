#include "ErrorChannel.h"

#include <QLoggingCategory>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcErrorChannel, "Device.ErrorChannel")

namespace {

// Length of the longest prefix of `bytes` that does not end inside a UTF-8 sequence.
qsizetype completeUtf8Prefix(const QByteArray &bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
        const auto b = uint8_t(bytes.at(i));
        if ((b & 0xC0) == 0x80)
            continue; // continuation byte: look further back for the lead byte
        const qsizetype length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
        return i + length > size ? i : size;
    }
    return size;
}

} // namespace

ErrorChannel::ErrorChannel(QObject *parent, uint16_t channelId, bool isReliable,
                           DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
{
    qRegisterMetaType<ErrorChannel::LogLevel>("ErrorChannel::LogLevel");
}

ErrorChannel::~ErrorChannel() = default;

QString ErrorChannel::notificationText(const QString &message)
{
    const qsizetype bracket = message.indexOf(QLatin1Char(']'));
    QString text = bracket < 0 ? message : message.mid(bracket + 1);
    if (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    return text;
}

void ErrorChannel::sendLogLevel(uint32_t level)
{
    sendLogLevelRequest(0, level);
}

void ErrorChannel::sendLogLevelRequest(uint8_t requestKind, uint32_t level)
{
    m_lastRequestKind = requestKind;
    QByteArray request(8, '\0');
    request[0] = char(requestKind);
    qToLittleEndian<quint32>(level, request.data() + 4);
    emit write(channelId, isReliable, request);
}

void ErrorChannel::dataReady(QByteArray packet)
{
    if (packet.size() < HeaderSize) {
        qCWarning(lcErrorChannel) << "Invalid error channel packet received";
        return;
    }
    const auto level = static_cast<LogLevel>(uint8_t(packet.at(0)));
    const auto flags = uint8_t(packet.at(1));
    const quint16 length = qFromLittleEndian<quint16>(packet.constData() + 2);
    if (length != packet.size() - HeaderSize) {
        qCWarning(lcErrorChannel) << "Invalid error channel packet length";
        return;
    }

    if (flags & LevelReport) {
        // Only the answer to a level request (kinds 0 and 1) carries the device's level.
        if (m_lastRequestKind <= 1) {
            m_reportedLevel = int32_t(uint8_t(level));
            emit logLevelReceived();
        }
        return;
    }

    const QByteArray text = packet.mid(HeaderSize);
    if (flags & Overflow) {
        // The device lost messages; the pending fragments stay as they are.
        emit overflow();
        return;
    }

    const bool kernel = flags & KernelMessage;
    if (flags & Fragment) {
        appendFragment(text, kernel, level);
        if (flags & LastFragment)
            flushFragments();
        return;
    }

    // A plain message ends a fragmented one that never saw its last fragment.
    if (m_fragmentPending)
        flushFragments();
    deliver(kernel, level, text);
}

void ErrorChannel::appendFragment(const QByteArray &text, bool kernel, LogLevel level)
{
    if (m_fragmentPending && m_fragments.size() + text.size() > MaxMessageBytes) {
        if (!m_deliveringInParts)
            qCWarning(lcErrorChannel).nospace() << "Device message longer than " << MaxMessageBytes
                                                << " bytes; delivering it in parts";
        m_deliveringInParts = true;
        qsizetype cut = completeUtf8Prefix(m_fragments);
        // Keep a CR for the next part: it may begin a CR LF pair.
        if (cut > 0 && m_fragments.at(cut - 1) == '\r')
            --cut;
        if (cut > 0) {
            deliver(m_fragmentKernel, m_fragmentLevel, m_fragments.left(cut));
            m_fragments.remove(0, cut);
        }
    }
    m_fragments += text;
    m_fragmentPending = true;
    m_fragmentKernel = kernel;
    m_fragmentLevel = level;
}

void ErrorChannel::flushFragments()
{
    const QByteArray text = m_fragments;
    m_fragments.clear();
    m_fragmentPending = false;
    m_deliveringInParts = false;
    deliver(m_fragmentKernel, m_fragmentLevel, text);
}

void ErrorChannel::deliver(bool kernel, LogLevel level, const QByteArray &utf8)
{
    QString text = QString::fromUtf8(utf8);
    text.remove(QStringLiteral("\r\n"));
    if (kernel) {
        qCDebug(lcErrorChannel).noquote() << "[Pelto *] " + text;
        emit kernelMessageReceived(level, text);
    } else {
        qCInfo(lcErrorChannel).noquote() << "[Pelto] " + text;
        emit messageReceived(level, text);
    }
}
