#pragma once

#include "AbstractService.h"
#include "ControlFrameReader.h"
#include "MonitoringProtocol.h"
#include "SimulinkDataTypes.h"

#include <QByteArray>
#include <QList>

class DatalinkManager;

namespace monitoring {

// Requests and replies on channel 2: the model's description, parameter writes and the switching
// of streams. Nothing here waits for a reply; replies are told apart by their command number
// only, and the owner decides whether it expected one.
// Threading: GUI thread only, like the link manager.
class MonCtrlChannel : public AbstractService
{
    Q_OBJECT

public:
    MonCtrlChannel(QObject *parent, DatalinkManager *manager);
    ~MonCtrlChannel() override;

    void requestInfo();
    void requestSignals();
    void requestBlockParams();
    void requestModelParams();
    void requestBlockStates();
    void requestInputs();
    void requestOutputs();
    void requestActiveSignals();
    void requestDataTypes();
    void requestStructElements();
    void requestFixedPointInfo();
    void requestRawData(protocol::rawdata_type_t kind);
    void requestStrings(protocol::string_type_t table);

signals:
    void communicationError(protocol::CommandType cmd, protocol::ErrorType err);
    void infoReceived(protocol::monitor_info_t info);
    void stringsReceived(protocol::string_type_t type, std::vector<std::string> strings);
    void signalsReceived(std::vector<protocol::signal_t> signalList);
    void blockParamsReceived(std::vector<protocol::param_t> params);
    void modelParamsReceived(std::vector<protocol::param_t> params);
    void blockStatesReceived(std::vector<protocol::state_t> states);
    void inputsReceived(std::vector<protocol::signal_t> signalList);
    void outputsReceived(std::vector<protocol::signal_t> signalList);
    void rawDataReceived(protocol::rawdata_type_t type, std::vector<std::byte> data);
    void activeSignalsReceived(std::vector<protocol::signal_set_t> signalList);
    void dataTypesReceived(std::vector<protocol::datatype_t> types);
    void structElementsReceived(std::vector<protocol::struct_element_t> elements);
    void fixedPointInfoReceived(std::vector<protocol::fxp_info_t> fxpInfo);
    void updateParametersReceived(QList<protocol::reference_set_t> handledreferences);
    void referencesHandled(SimulinkDataTypes::VariableDataType datType,
                           QList<protocol::reference_set_t> handledreferences);

public slots:
    void setParameter(protocol::param_set_t parameter);
    void setSignal(protocol::signal_set_t signal);

    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override;
    void errorString(QString error);
    void messageTimeOut();

private:
    void sendCommand(protocol::CommandType command, const QByteArray &payload = {});
    void dispatchReply(const ControlFrameHeader &header, const uint8_t *payload, size_t size);
    bool dispatchRecords(int16_t command, const uint8_t *payload, size_t size);
    bool dispatchReferences(int16_t command, const uint8_t *payload, size_t size);

    ControlReceiveBuffer receiveBuffer;
};

} // namespace monitoring
