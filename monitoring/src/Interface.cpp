#include "Interface.h"

#include "DataChannel.h"
#include "MonCtrlChannel.h"
#include "ParameterNode.h"
#include "SimulinkVariable.h"
#include "StreamableNode.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcInterface, "Monitoring.Interface")

namespace monitoring {

namespace {

constexpr uint32_t SupportedVersion = 2;
constexpr uint8_t LastStringTable = 14;
constexpr uint8_t BlockParameterValues = 2;
constexpr uint8_t ModelParameterValues = 3;

enum DownloadState {
    WaitInfo = 1,
    WaitStrings,
    WaitSignals,
    WaitBlockParams,
    WaitModelParams,
    WaitBlockStates,
    WaitInputs,
    WaitOutputs,
    WaitBlockValues,
    WaitModelValues,
    WaitActiveSignals,
    WaitDataTypes,
    WaitStructElements,
    WaitFixedPoint
};

uint32_t keyOf(uint16_t nodeIndex, uint16_t dataOffset)
{
    return uint32_t(dataOffset) << 16 | nodeIndex;
}

} // namespace

Interface::Interface(QObject *parent, DatalinkManager *manager)
    : QObject(parent)
    , ctrl(new MonCtrlChannel(this, manager))
    , data(new DataChannel(this, manager))
{
    using C = MonCtrlChannel;
    connect(ctrl, &C::infoReceived, this, &Interface::onInfoReceived);
    connect(ctrl, &C::stringsReceived, this, &Interface::onStringsReceived);
    connect(ctrl, &C::signalsReceived, this, &Interface::onSignalsReceived);
    connect(ctrl, &C::blockParamsReceived, this, &Interface::onBlockParamsReceived);
    connect(ctrl, &C::modelParamsReceived, this, &Interface::onModelParamsReceived);
    connect(ctrl, &C::blockStatesReceived, this, &Interface::onBlockStatesReceived);
    connect(ctrl, &C::inputsReceived, this, &Interface::onInputsReceived);
    connect(ctrl, &C::outputsReceived, this, &Interface::onOutputsReceived);
    connect(ctrl, &C::rawDataReceived, this, &Interface::onRawDataReceived);
    connect(ctrl, &C::activeSignalsReceived, this, &Interface::onActiveSignalsReceived);
    connect(ctrl, &C::dataTypesReceived, this, &Interface::onDataTypesReceived);
    connect(ctrl, &C::structElementsReceived, this, &Interface::onStructElementsReceived);
    connect(ctrl, &C::fixedPointInfoReceived, this, &Interface::onFixedPointInfoReceived);
    connect(ctrl, &C::referencesHandled, this, &Interface::referencesHandledCtrl);
    connect(ctrl, &C::updateParametersReceived, this, &Interface::updateParametersReceivedCtrl);
    connect(ctrl, &C::communicationError, this, &Interface::communicationErrorCtrl);
    // Nothing here times out: a reply that never comes leaves the download in its state until it
    // is started again, which the device does each time its monitoring service reopens. Giving
    // up after a while would only drop a download that a slow link might still have finished.
}

Interface::~Interface()
{
    clearModel();
}

void Interface::startModelDownload()
{
    clearModel();
    ctrl->initialize();
    advance(WaitInfo);
}

void Interface::clearModel()
{
    // Wrappers first: QML may still hold them until their deferred deletion, and late
    // acknowledgements must find no node of the old tree.
    for (SimulinkDataTypes::SimulinkVariable *w : std::as_const(wrappers)) {
        w->detach();
        w->deleteLater();
    }
    wrappers.clear();
    data->clearSubscriptions();
    activations.clear();
    nodeTable.clear();
    root.reset();
}

void Interface::advance(int next)
{
    downloadState = next;
    switch (next) {
    case WaitInfo:
        ctrl->requestInfo();
        break;
    case WaitStrings:
        ctrl->requestStrings(expectedStringTable);
        break;
    case WaitSignals:
        ctrl->requestSignals();
        break;
    case WaitBlockParams:
        ctrl->requestBlockParams();
        break;
    case WaitModelParams:
        ctrl->requestModelParams();
        break;
    case WaitBlockStates:
        ctrl->requestBlockStates();
        break;
    case WaitInputs:
        ctrl->requestInputs();
        break;
    case WaitOutputs:
        ctrl->requestOutputs();
        break;
    case WaitBlockValues:
        ctrl->requestRawData(BlockParameterValues);
        break;
    case WaitModelValues:
        ctrl->requestRawData(ModelParameterValues);
        break;
    case WaitActiveSignals:
        ctrl->requestActiveSignals();
        break;
    case WaitDataTypes:
        ctrl->requestDataTypes();
        break;
    case WaitStructElements:
        ctrl->requestStructElements();
        break;
    case WaitFixedPoint:
        ctrl->requestFixedPointInfo();
        break;
    default:
        break;
    }
}

void Interface::fail()
{
    downloadState = Idle;
    emit initializedChanged();
    clearModel();
}

bool Interface::expect(int wanted, const char *unexpected)
{
    if (downloadState == wanted)
        return true;
    qCWarning(lcInterface) << unexpected;
    return false;
}

void Interface::onInfoReceived(protocol::monitor_info_t reply)
{
    if (!expect(WaitInfo, "Unexpected info received"))
        return;
    if (reply.version != SupportedVersion) {
        qCWarning(lcInterface) << "Unsupported monitoring version" << reply.version;
        fail();
        return;
    }
    info = reply;
    expectedStringTable = 0;
    advance(WaitStrings);
}

void Interface::onStringsReceived(protocol::string_type_t type, std::vector<std::string> strings)
{
    if (downloadState != WaitStrings || type != expectedStringTable
        || type >= ModelTables::StringTableCount) {
        qCWarning(lcInterface) << "Unexpected strings received";
        return;
    }
    model.strings[type] = std::move(strings);
    if (type < LastStringTable) {
        expectedStringTable = type + 1;
        advance(WaitStrings);
    } else {
        advance(WaitSignals);
    }
}

void Interface::onSignalsReceived(std::vector<protocol::signal_t> records)
{
    if (!expect(WaitSignals, "Unexpected signals received"))
        return;
    signalRecords = std::move(records);
    advance(WaitBlockParams);
}

void Interface::onBlockParamsReceived(std::vector<protocol::param_t> records)
{
    if (!expect(WaitBlockParams, "Unexpected block parameters received"))
        return;
    blockParamRecords = std::move(records);
    advance(WaitModelParams);
}

void Interface::onModelParamsReceived(std::vector<protocol::param_t> records)
{
    if (!expect(WaitModelParams, "Unexpected model parameters received"))
        return;
    modelParamRecords = std::move(records);
    advance(WaitBlockStates);
}

void Interface::onBlockStatesReceived(std::vector<protocol::state_t> records)
{
    if (!expect(WaitBlockStates, "Unexpected block states received"))
        return;
    stateRecords = std::move(records);
    advance(WaitInputs);
}

void Interface::onInputsReceived(std::vector<protocol::signal_t> records)
{
    if (!expect(WaitInputs, "Unexpected inputs received"))
        return;
    inputRecords = std::move(records);
    advance(WaitOutputs);
}

void Interface::onOutputsReceived(std::vector<protocol::signal_t> records)
{
    if (!expect(WaitOutputs, "Unexpected outputs received"))
        return;
    outputRecords = std::move(records);
    advance(WaitBlockValues);
}

void Interface::onRawDataReceived(protocol::rawdata_type_t type, std::vector<std::byte> values)
{
    switch (downloadState) {
    case WaitBlockValues:
        blockParamValues = std::move(values);
        advance(WaitModelValues);
        return;
    case WaitModelValues:
        modelParamValues = std::move(values);
        advance(WaitActiveSignals);
        return;
    case Ready:
        if (type == BlockParameterValues) {
            blockParamValues = std::move(values);
            buildBlockParameters(true);
        } else if (type == ModelParameterValues) {
            modelParamValues = std::move(values);
            buildModelParameters(true);
        } else {
            qCWarning(lcInterface) << "Unexpected raw data packet type received";
        }
        return;
    default:
        qCWarning(lcInterface) << "Unexpected raw data packet received";
    }
}

void Interface::onActiveSignalsReceived(std::vector<protocol::signal_set_t> records)
{
    if (!expect(WaitActiveSignals, "Unexpected active signals received"))
        return;
    activeSignalRecords = std::move(records);
    advance(WaitDataTypes);
}

void Interface::onDataTypesReceived(std::vector<protocol::datatype_t> types)
{
    if (!expect(WaitDataTypes, "Unexpected datatypes received"))
        return;
    model.dataTypes = std::move(types);
    advance(WaitStructElements);
}

void Interface::onStructElementsReceived(std::vector<protocol::struct_element_t> elements)
{
    if (!expect(WaitStructElements, "Unexpected structure elements received"))
        return;
    model.structElements = std::move(elements);
    advance(WaitFixedPoint);
}

void Interface::onFixedPointInfoReceived(std::vector<protocol::fxp_info_t> fxpInfo)
{
    if (!expect(WaitFixedPoint, "Unexpected fixed point info received"))
        return;
    model.fixedPointInfo = std::move(fxpInfo);
    buildModel();
}

void Interface::referencesHandledCtrl(SimulinkDataTypes::VariableDataType kind,
                                      QList<protocol::reference_set_t> references)
{
    if (kind == SimulinkDataTypes::ParameterData)
        return;
    for (const protocol::reference_set_t &r : std::as_const(references)) {
        const auto it = activations.find(keyOf(r.reference, r.dataOffset));
        if (it == activations.end()) {
            qCWarning(lcInterface)
                << "Received unexpected references handled callback ref: " << r.reference
                << " data offset: " << r.dataOffset;
            continue;
        }
        StreamableNode *node = it->second;
        qCDebug(lcInterface) << "Ref:" << node->getDisplayName().c_str()
                             << "Memory Location:" << r.dataOffset;
        node->onStreamAcknowledged(r.dataOffset);
    }
}

void Interface::updateParametersReceivedCtrl(QList<protocol::reference_set_t> references)
{
    for (const protocol::reference_set_t &r : std::as_const(references)) {
        IModelNode *node = nodeAt(r.reference);
        if (!node || !node->isParameter())
            continue;
        qCDebug(lcInterface) << "Ref:" << node->getDisplayName().c_str()
                             << "Memory Location:" << r.dataOffset;
        static_cast<ParameterNode *>(node)->valueWritten(r.dataOffset);
    }
}

void Interface::communicationErrorCtrl(protocol::CommandType cmd, protocol::ErrorType err)
{
    qCWarning(lcInterface) << "Communication error Monitor Control cmd: " << int16_t(cmd)
                           << " error " << int(int8_t(err));
    fail();
}

std::shared_ptr<IDataType> Interface::makeDataType(uint16_t dataTypeIndex,
                                                   int32_t fixedPointIndex) const
{
    return monitoring::makeDataType(model, dataTypeIndex, fixedPointIndex);
}

std::string_view Interface::typeString(uint8_t table, int32_t index) const
{
    return monitoring::typeString(model, table, index);
}

bool Interface::isStructType(uint16_t dataTypeIndex, int32_t fixedPointIndex) const
{
    return dataTypeIndex < model.dataTypes.size() && fixedPointIndex == 0
        && !model.fixedPointInfo.empty() && model.dataTypes[dataTypeIndex].typeId == 255;
}

void Interface::sendParameter(const protocol::param_set_t &parameter)
{
    ctrl->setParameter(parameter);
}

void Interface::requestRawData(protocol::rawdata_type_t kind)
{
    ctrl->requestRawData(kind);
}

void Interface::sendSignalSet(const protocol::signal_set_t &signal)
{
    ctrl->setSignal(signal);
}

void Interface::addStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset,
                                       StreamableNode *node)
{
    activations.emplace(keyOf(nodeIndex, dataOffset), node);
}

void Interface::eraseStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset)
{
    activations.erase(keyOf(nodeIndex, dataOffset));
}

SampleStream *Interface::sampleStream()
{
    return data->stream();
}

} // namespace monitoring
