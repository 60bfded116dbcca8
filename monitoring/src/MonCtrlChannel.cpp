#include "MonCtrlChannel.h"

#include "ControlFrameReader.h"

#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcMonCtrl, "Monitoring.MonCtrlChannel")

namespace monitoring {

namespace {

constexpr uint16_t ControlChannelId = 2;
constexpr uint32_t SupportedVersion = 2;

const uint8_t *bytes(const QByteArray &b)
{
    return reinterpret_cast<const uint8_t *>(b.constData());
}

template<typename T> QList<T> toList(const std::vector<T> &v)
{
    return QList<T>(v.begin(), v.end());
}

} // namespace

MonCtrlChannel::MonCtrlChannel(QObject *parent, DatalinkManager *manager)
    : AbstractService(parent, ControlChannelId, true, manager)
{ }

MonCtrlChannel::~MonCtrlChannel() = default;

void MonCtrlChannel::requestInfo()
{
    sendCommand(protocol::GetInfo);
}
void MonCtrlChannel::requestSignals()
{
    sendCommand(protocol::GetSignals);
}
void MonCtrlChannel::requestBlockParams()
{
    sendCommand(protocol::GetBlockParams);
}
void MonCtrlChannel::requestModelParams()
{
    sendCommand(protocol::GetModelParams);
}
void MonCtrlChannel::requestBlockStates()
{
    sendCommand(protocol::GetBlockStates);
}
void MonCtrlChannel::requestInputs()
{
    sendCommand(protocol::GetInputs);
}
void MonCtrlChannel::requestOutputs()
{
    sendCommand(protocol::GetOutputs);
}
void MonCtrlChannel::requestActiveSignals()
{
    sendCommand(protocol::GetActiveSignals);
}
void MonCtrlChannel::requestDataTypes()
{
    sendCommand(protocol::GetDataTypes);
}
void MonCtrlChannel::requestStructElements()
{
    sendCommand(protocol::GetStructElements);
}
void MonCtrlChannel::requestFixedPointInfo()
{
    sendCommand(protocol::GetFixedPointInfo);
}

void MonCtrlChannel::requestRawData(protocol::rawdata_type_t kind)
{
    sendCommand(protocol::GetRawData, QByteArray(1, char(kind)));
}

void MonCtrlChannel::requestStrings(protocol::string_type_t table)
{
    sendCommand(protocol::GetStrings, QByteArray(1, char(table)));
}

void MonCtrlChannel::setParameter(protocol::param_set_t parameter)
{
    sendCommand(protocol::SetParameter,
                QByteArray(reinterpret_cast<const char *>(&parameter), sizeof parameter));
}

void MonCtrlChannel::setSignal(protocol::signal_set_t signal)
{
    sendCommand(protocol::SetSignal,
                QByteArray(reinterpret_cast<const char *>(&signal), sizeof signal));
}

void MonCtrlChannel::initialize()
{
    receiveBuffer.clear();
}

void MonCtrlChannel::errorString(QString) { }

void MonCtrlChannel::messageTimeOut()
{
    qCDebug(lcMonCtrl) << "message TimeOut";
}

void MonCtrlChannel::sendCommand(protocol::CommandType command, const QByteArray &payload)
{
    const auto pieces = buildControlFrame(command, bytes(payload), size_t(payload.size()));
    for (const auto &piece : pieces)
        emit write(
            ControlChannelId, true,
            QByteArray(reinterpret_cast<const char *>(piece.data()), qsizetype(piece.size())));
}

void MonCtrlChannel::dataReady(QByteArray packet)
{
    receiveBuffer.append(bytes(packet), size_t(packet.size()));
    // A slot behind one of the reply signals may tear the model, and with it this channel, down.
    const QPointer<MonCtrlChannel> alive(this);
    std::vector<uint8_t> frame;
    while (alive) {
        ControlFrameHeader header;
        switch (receiveBuffer.next(&frame, &header)) {
        case ControlReceiveBuffer::Step::Wait:
            return;
        case ControlReceiveBuffer::Step::Incomplete:
            qCWarning(lcMonCtrl) << "eMonitor: Incomplete packet received";
            return;
        case ControlReceiveBuffer::Step::Unsupported:
            qCDebug(lcMonCtrl) << "eMonitor: unsupported command received";
            emit communicationError(protocol::CommandType(header.command),
                                    protocol::ErrorType(header.status));
            return;
        case ControlReceiveBuffer::Step::BadLength:
            qCWarning(lcMonCtrl) << "eMonitor: frame length" << header.length
                                 << "shorter than its header, command" << header.command;
            emit communicationError(protocol::CommandType(header.command),
                                    protocol::ErrorType(header.status));
            return;
        case ControlReceiveBuffer::Step::Frame:
            dispatchReply(header, frame.data() + ControlHeaderSize,
                          frame.size() - ControlHeaderSize);
            break;
        }
    }
}

void MonCtrlChannel::dispatchReply(const ControlFrameHeader &header, const uint8_t *payload,
                                   size_t size)
{
    const int16_t command = header.command;
    const int8_t status = header.status;

    bool accepted = false;
    switch (command) {
    case protocol::GetInfo:
        if (size >= 4 && status == protocol::NoError) {
            protocol::monitor_info_t info{};
            std::memcpy(&info.version, payload, 4);
            if (info.version != SupportedVersion)
                qCWarning(lcMonCtrl) << "Unsupported monitoring version " << info.version;
            else if (size == sizeof info) {
                std::memcpy(&info, payload, sizeof info);
                accepted = true;
                emit infoReceived(info);
            }
        }
        break;
    case protocol::GetRawData:
        if (status != protocol::NoError)
            break;
        if (size == 0) {
            qCWarning(lcMonCtrl) << "Invalid raw data packet";
            break;
        }
        accepted = true;
        emit rawDataReceived(
            payload[0],
            std::vector<std::byte>(reinterpret_cast<const std::byte *>(payload) + 1,
                                   reinterpret_cast<const std::byte *>(payload) + size));
        break;
    case protocol::GetStrings:
        if (status == protocol::NoError) {
            protocol::string_type_t table = 0;
            auto strings = decodeStrings(payload, size, &table);
            accepted = true;
            emit stringsReceived(table, std::move(strings));
        }
        break;
    case protocol::SetParameter:
    case protocol::UpdateParameters:
    case protocol::SetSignal:
    case protocol::StreamingHandled:
        accepted = isAcceptedStatus(command, status) && dispatchReferences(command, payload, size);
        break;
    default:
        accepted = status == protocol::NoError && dispatchRecords(command, payload, size);
        break;
    }
    if (!accepted)
        emit communicationError(protocol::CommandType(command), protocol::ErrorType(status));
}

bool MonCtrlChannel::dispatchRecords(int16_t command, const uint8_t *payload, size_t size)
{
    switch (command) {
    case protocol::GetSignals:
    case protocol::GetInputs:
    case protocol::GetOutputs: {
        std::vector<protocol::signal_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        if (command == protocol::GetSignals)
            emit signalsReceived(std::move(records));
        else if (command == protocol::GetInputs)
            emit inputsReceived(std::move(records));
        else
            emit outputsReceived(std::move(records));
        return true;
    }
    case protocol::GetBlockParams:
    case protocol::GetModelParams: {
        std::vector<protocol::param_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        if (command == protocol::GetBlockParams)
            emit blockParamsReceived(std::move(records));
        else
            emit modelParamsReceived(std::move(records));
        return true;
    }
    case protocol::GetBlockStates: {
        std::vector<protocol::state_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        emit blockStatesReceived(std::move(records));
        return true;
    }
    case protocol::GetActiveSignals: {
        std::vector<protocol::signal_set_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        emit activeSignalsReceived(std::move(records));
        return true;
    }
    case protocol::GetDataTypes: {
        std::vector<protocol::datatype_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        emit dataTypesReceived(std::move(records));
        return true;
    }
    case protocol::GetStructElements: {
        std::vector<protocol::struct_element_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        emit structElementsReceived(std::move(records));
        return true;
    }
    case protocol::GetFixedPointInfo: {
        std::vector<protocol::fxp_info_t> records;
        if (!decodeRecords(payload, size, &records))
            return false;
        emit fixedPointInfoReceived(std::move(records));
        return true;
    }
    default:
        return false; // 0, 2, 3, 4 and negative numbers mean nothing
    }
}

bool MonCtrlChannel::dispatchReferences(int16_t command, const uint8_t *payload, size_t size)
{
    std::vector<protocol::reference_set_t> records;
    if (!decodeRecords(payload, size, &records))
        return false;
    const QList<protocol::reference_set_t> list = toList(records);
    switch (command) {
    case protocol::UpdateParameters:
        emit updateParametersReceived(list);
        break;
    case protocol::SetSignal:
        emit referencesHandled(SimulinkDataTypes::SignalData, list);
        break;
    case protocol::SetParameter:
        emit referencesHandled(SimulinkDataTypes::ParameterData, list);
        break;
    default:
        emit referencesHandled(SimulinkDataTypes::StreamingData, list);
        break;
    }
    return true;
}

} // namespace monitoring
