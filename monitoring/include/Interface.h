#pragma once

#include "DataTypeFactory.h"
#include "Dimensions.h"
#include "IModelNode.h"
#include "ModelTables.h"
#include "MonitoringProtocol.h"
#include "NodeOwner.h"
#include "SimulinkDataTypes.h"

#include <QList>
#include <QObject>

#include <memory>
#include <unordered_map>
#include <vector>

class DatalinkManager;

namespace SimulinkDataTypes {
class SimulinkVariable;
}

namespace monitoring {

class DataChannel;
class MonCtrlChannel;
class StreamableNode;
class StructNode;

// Downloads the description of the model running on the device, reply by reply, builds the
// model tree with one QML wrapper per variable, and keeps it current afterwards.
// Threading: GUI thread only.
class Interface : public QObject, public NodeOwner
{
    Q_OBJECT

public:
    enum State { Idle = 0, Ready = 15 };

    Interface(QObject *parent, DatalinkManager *manager);
    ~Interface() override;

    void startModelDownload();
    void clearModel();

    int state() const { return downloadState; }
    bool isInitialized() const { return downloadState == Ready; }
    MonCtrlChannel *controlChannel() const { return ctrl; }
    DataChannel *dataChannel() const { return data; }
    const QList<SimulinkDataTypes::SimulinkVariable *> &simulinkVariables() const
    {
        return wrappers;
    }
    IModelNode *rootNode() const { return root.get(); }
    IModelNode *nodeAt(size_t index) const
    {
        return index < nodeTable.size() ? nodeTable[index] : nullptr;
    }
    const ModelTables &tables() const { return model; }
    const std::vector<std::string> &modelReferencePaths() const { return modelRefPaths; }
    size_t streamingActivationCount() const { return activations.size(); }

    std::shared_ptr<IDataType> makeDataType(uint16_t dataTypeIndex, int32_t fixedPointIndex) const;
    std::string_view typeString(uint8_t table, int32_t index) const;
    bool isStructType(uint16_t dataTypeIndex, int32_t fixedPointIndex) const;

    // What the nodes use.
    void sendParameter(const protocol::param_set_t &parameter) override;
    void requestRawData(protocol::rawdata_type_t kind) override;
    void sendSignalSet(const protocol::signal_set_t &signal) override;
    void addStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset,
                                StreamableNode *node) override;
    void eraseStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset) override;
    SampleStream *sampleStream() override;

signals:
    void simulinkVariablesChanged();
    void initializedChanged();

public slots:
    void onInfoReceived(monitoring::protocol::monitor_info_t info);
    void onStringsReceived(monitoring::protocol::string_type_t type,
                           std::vector<std::string> strings);
    void onSignalsReceived(std::vector<protocol::signal_t> signalList);
    void onBlockParamsReceived(std::vector<protocol::param_t> params);
    void onModelParamsReceived(std::vector<protocol::param_t> params);
    void onBlockStatesReceived(std::vector<protocol::state_t> states);
    void onInputsReceived(std::vector<protocol::signal_t> signalList);
    void onOutputsReceived(std::vector<protocol::signal_t> signalList);
    void onRawDataReceived(protocol::rawdata_type_t type, std::vector<std::byte> data);
    void onActiveSignalsReceived(std::vector<protocol::signal_set_t> signalList);
    void onDataTypesReceived(std::vector<protocol::datatype_t> types);
    void onStructElementsReceived(std::vector<protocol::struct_element_t> elements);
    void onFixedPointInfoReceived(std::vector<protocol::fxp_info_t> fxpInfo);
    void referencesHandledCtrl(SimulinkDataTypes::VariableDataType datType,
                               QList<monitoring::protocol::reference_set_t> handledreferences);
    void
    updateParametersReceivedCtrl(QList<monitoring::protocol::reference_set_t> handledreferences);
    void communicationErrorCtrl(protocol::CommandType cmd, protocol::ErrorType err);

private:
    // Moves to `next` and asks for what that state waits for.
    void advance(int next);
    void fail();
    bool expect(int wanted, const char *unexpected);

    // Model build (InterfaceBuild.cpp).
    void buildModel();
    void buildModelTree();
    void buildSignals(const std::vector<protocol::signal_t> &records, int table, int nameTable,
                      int busType, int nodeType, uint8_t variableType, const char *what);
    void buildBlockParameters(bool refresh);
    void buildModelParameters(bool refresh);
    void buildBlockStates();
    IModelNode *blockAt(const std::string &fullPath);
    std::string fullPath(uint16_t modelRef, std::string_view blockPath) const;
    void addStreamableNode(int nodeType, uint8_t variableType, const protocol::signal_t &r,
                           std::string name, const std::string &path, Dimensions dims,
                           const std::string &port);
    void addBusNode(int nodeType, const protocol::signal_t &r, std::string name,
                    const std::string &path, Dimensions dims, const std::string &port);
    bool checkBusType(uint16_t dataTypeIndex, const std::string &name);
    void addStructElements(StructNode *bus, uint16_t dataTypeIndex);
    void addStructElement(StructNode *parent, const protocol::struct_element_t &e);
    void putInTable(uint16_t index, IModelNode *node);

    MonCtrlChannel *ctrl;
    DataChannel *data;
    int downloadState = Idle;
    protocol::string_type_t expectedStringTable = 0;
    ModelTables model;
    std::vector<protocol::signal_t> signalRecords;
    std::vector<protocol::param_t> blockParamRecords;
    std::vector<protocol::param_t> modelParamRecords;
    std::vector<protocol::state_t> stateRecords;
    std::vector<protocol::signal_t> inputRecords;
    std::vector<protocol::signal_t> outputRecords;
    std::vector<protocol::signal_set_t> activeSignalRecords;
    std::vector<std::byte> blockParamValues;
    std::vector<std::byte> modelParamValues;
    protocol::monitor_info_t info{};
    std::vector<std::string> modelRefPaths;
    std::vector<bool> modelRefValid;
    QList<SimulinkDataTypes::SimulinkVariable *> wrappers;
    std::unique_ptr<IModelNode> root;
    std::vector<IModelNode *> nodeTable;
    std::unordered_map<uint32_t, StreamableNode *> activations;
};

} // namespace monitoring
