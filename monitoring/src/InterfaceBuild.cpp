// Building the model tree from the downloaded records.
#include "BasicNode.h"
#include "Interface.h"
#include "ModelPath.h"
#include "ParameterNode.h"
#include "SimulinkParameter.h"
#include "SimulinkSignal.h"
#include "StructElementNode.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcInterface)

namespace monitoring {

namespace {

constexpr uint8_t TableSignalPaths = 0, TableParamPaths = 1, TableStatePaths = 2,
                  TableInputPaths = 3, TableOutputPaths = 4, TableSignalNames = 5,
                  TableParamNames = 6, TableStateNames = 7, TableInputNames = 8,
                  TableOutputNames = 9, TableModelParamNames = 10, TableModelRefs = 11,
                  TableElementNames = 14;

std::string str(std::string_view v)
{
    return std::string(v);
}

// Dimension sizes of a record with n (1 or 2) dimensions.
Dimensions dimensionsOf(uint8_t n, const uint16_t *sizes, uint8_t layout)
{
    return Dimensions(std::vector<uint16_t>(sizes, sizes + n), layout);
}

} // namespace

void Interface::buildModel()
{
    size_t largest = 0;
    bool any = false;
    auto see = [&](uint16_t index) {
        largest = std::max<size_t>(largest, index);
        any = true;
    };
    for (const auto &r : signalRecords)
        see(r.nodeIndex);
    for (const auto &r : inputRecords)
        see(r.nodeIndex);
    for (const auto &r : outputRecords)
        see(r.nodeIndex);
    for (const auto &r : stateRecords)
        see(r.nodeIndex);
    for (const auto &r : blockParamRecords)
        see(r.nodeIndex);
    for (const auto &r : modelParamRecords)
        see(r.nodeIndex);
    nodeTable.assign(any ? largest + 1 : 1, nullptr);

    buildModelTree();
    buildSignals(signalRecords, TableSignalPaths, TableSignalNames, 9, 3, 1, " for signal");
    buildBlockParameters(false);
    buildModelParameters(false);
    buildBlockStates();
    buildSignals(inputRecords, TableInputPaths, TableInputNames, 10, 7, 5, " for inputs");
    buildSignals(outputRecords, TableOutputPaths, TableOutputNames, 11, 8, 6, " for outputs");
    downloadState = Ready;
    emit simulinkVariablesChanged();
    emit initializedChanged();
}

void Interface::buildModelTree()
{
    const auto &refs = model.strings[TableModelRefs];
    if (refs.size() < 3) {
        root = std::make_unique<ModelNode>(this, nullptr, "root");
        if (modelRefPaths.empty()) {
            modelRefPaths = { "root" };
            modelRefValid = { true };
        }
        return;
    }
    const size_t count = (refs.size() - 1) / 2;
    modelRefPaths.assign(count, {});
    modelRefValid.assign(count, false);
    modelRefPaths[0] = "root";
    modelRefValid[0] = true;
    root = std::make_unique<ModelNode>(this, nullptr, "root");
    for (size_t k = 1; k < count; ++k) {
        const std::string &parentText = refs[2 * k + 1];
        size_t used = 0;
        unsigned long parent = 0;
        bool ok = !parentText.empty();
        try {
            parent = ok ? std::stoul(parentText, &used, 16) : 0;
        } catch (...) {
            ok = false;
        }
        // A parent must be named in hexadecimal and built before its child.
        if (!ok || used != parentText.size() || parent >= k || !modelRefValid[parent]) {
            qCWarning(lcInterface) << "Invalid parent model reference" << parentText.c_str()
                                   << "for model reference" << k << "; its items are skipped";
            continue;
        }
        modelRefPaths[k] = modelRefPaths[parent] + "/" + str(modelPathTail(refs[2 * k + 2]));
        modelRefValid[k] = true;
        const PathSplit split = splitModelPathLast(modelRefPaths[k]);
        IModelNode::insertChild(
            root.get(), split.first,
            std::make_unique<ModelNode>(this, nullptr, unescapeModelPath(split.second)));
    }
}

std::string Interface::fullPath(uint16_t modelRef, std::string_view blockPath) const
{
    return modelRefPaths[modelRef] + "/" + str(modelPathTail(blockPath));
}

IModelNode *Interface::blockAt(const std::string &path)
{
    if (IModelNode *found = IModelNode::findByPath(root.get(), path))
        return found;
    const PathSplit split = splitModelPathLast(path);
    return IModelNode::insertChild(
        root.get(), split.first,
        std::make_unique<BlockNode>(this, nullptr, unescapeModelPath(split.second)));
}

void Interface::putInTable(uint16_t index, IModelNode *node)
{
    if (index < nodeTable.size())
        nodeTable[index] = node;
}

void Interface::buildSignals(const std::vector<protocol::signal_t> &records, int table,
                             int nameTable, int busType, int nodeType, uint8_t variableType,
                             const char *what)
{
    for (const protocol::signal_t &r : records) {
        if (r.numDimensions < 1 || r.numDimensions > 2) {
            qCWarning(lcInterface) << "Invalid dimension size " << r.numDimensions << " for signal";
            continue;
        }
        if (r.modelRefIndex >= modelRefPaths.size() || !modelRefValid[r.modelRefIndex]) {
            qCWarning(lcInterface) << "Invalid model reference " << r.modelRefIndex << what;
            continue;
        }
        const std::string path
            = fullPath(r.modelRefIndex, typeString(uint8_t(table), r.blockPathIndex));
        std::string name = str(typeString(uint8_t(nameTable), r.nameIndex));
        const std::string port = std::to_string(r.portNumber);
        Dimensions dims = dimensionsOf(r.numDimensions, r.dimensions, r.dimensionLayout);
        if (isStructType(r.dataTypeIndex, r.fixedPointIndex)) {
            addBusNode(busType, r, std::move(name), path, std::move(dims), port);
        } else {
            addStreamableNode(nodeType, variableType, r, std::move(name), path, std::move(dims),
                              port);
        }
    }
}

void Interface::addStreamableNode(int nodeType, uint8_t variableType, const protocol::signal_t &r,
                                  std::string name, const std::string &path, Dimensions dims,
                                  const std::string &port)
{
    bool generated = false;
    if (name.empty()) {
        name = "Port " + port;
        generated = true;
    }
    auto codec = makeDataType(r.dataTypeIndex, r.fixedPointIndex);
    if (!codec) {
        qCWarning(lcInterface) << "Could not get datatype" << r.dataTypeIndex << "for signal"
                               << name.c_str();
        return;
    }
    IModelNode *block = blockAt(path);
    auto node = std::make_unique<BasicStreamableNode>(nodeType, variableType, this, block,
                                                      r.nodeIndex, r.modelRefIndex, codec,
                                                      std::move(dims), r.defaultOdr, name, port);
    node->setGeneratedName(generated);
    auto *added = static_cast<StreamableNode *>(IModelNode::addChild(block, std::move(node)));
    putInTable(r.nodeIndex, added);
    wrappers.append(new SimulinkDataTypes::SimulinkSignal(this, added));
}

bool Interface::checkBusType(uint16_t dataTypeIndex, const std::string &name)
{
    if (dataTypeIndex >= model.dataTypes.size()) {
        qCWarning(lcInterface) << "Could not get datatype" << dataTypeIndex << "for signal"
                               << name.c_str();
        return false;
    }
    const protocol::datatype_t &t = model.dataTypes[dataTypeIndex];
    if (model.structElements.size() < size_t(t.firstElement) + t.numElements) {
        qCWarning(lcInterface) << "Could not get all the struct elements for signal"
                               << name.c_str();
        return false;
    }
    return true;
}

void Interface::addBusNode(int nodeType, const protocol::signal_t &r, std::string name,
                           const std::string &path, Dimensions dims, const std::string &port)
{
    bool generated = false;
    if (name.empty()) {
        name = "Port " + port;
        generated = true;
    }
    if (dims.elementCount() != 1) {
        qCWarning(lcInterface) << "Only Scalar busses are supported";
        return;
    }
    if (!checkBusType(r.dataTypeIndex, name))
        return;
    IModelNode *block = blockAt(path);
    auto node = std::make_unique<StructNode>(nodeType, this, block, r.nodeIndex, r.modelRefIndex, 0,
                                             std::move(dims), r.defaultOdr, name, port);
    node->setGeneratedName(generated);
    auto *bus = static_cast<StructNode *>(IModelNode::addChild(block, std::move(node)));
    putInTable(r.nodeIndex, bus);
    addStructElements(bus, r.dataTypeIndex);
}

void Interface::addStructElements(StructNode *bus, uint16_t dataTypeIndex)
{
    const protocol::datatype_t &t = model.dataTypes[dataTypeIndex];
    for (size_t i = t.firstElement; i < size_t(t.firstElement) + t.numElements; ++i)
        addStructElement(bus, model.structElements[i]);
}

void Interface::addStructElement(StructNode *parent, const protocol::struct_element_t &e)
{
    if (e.numDimensions < 1 || e.numDimensions > 2) {
        qCWarning(lcInterface) << "Invalid dimension size " << e.numDimensions
                               << " for struct element";
        return;
    }
    Dimensions dims = dimensionsOf(e.numDimensions, e.dimensions, e.dimensionLayout);
    const std::string name = str(typeString(TableElementNames, e.nameIndex));
    if (isStructType(e.dataTypeIndex, e.fixedPointIndex)) {
        if (!checkBusType(e.dataTypeIndex, name))
            return;
        // A bus that contains itself, directly or further down, would never end.
        for (const IModelNode *p = parent; p && p->isStruct(); p = p->getParent()) {
            if (p->getDisplayName() == name && p != parent) {
                qCWarning(lcInterface) << "Bus" << name.c_str() << "nested in itself; skipped";
                return;
            }
        }
        int depth = 0;
        for (const IModelNode *p = parent; p && p->isStruct(); p = p->getParent())
            ++depth;
        if (depth > 32) {
            qCWarning(lcInterface) << "Bus nesting deeper than 32 levels; skipped" << name.c_str();
            return;
        }
        auto node = std::make_unique<StructNode>(parent->nodeType(), this, parent,
                                                 parent->nodeIndex, parent->modelRefIndex, e.offset,
                                                 std::move(dims), parent->defaultOdr, name, name);
        auto *bus = static_cast<StructNode *>(IModelNode::addChild(parent, std::move(node)));
        addStructElements(bus, e.dataTypeIndex);
        return;
    }
    auto codec = makeDataType(e.dataTypeIndex, e.fixedPointIndex);
    if (!codec) {
        qCWarning(lcInterface) << "Could not get datatype" << e.dataTypeIndex;
        return;
    }
    auto node = std::make_unique<StructElementNode>(this, parent, parent->nodeIndex,
                                                    parent->modelRefIndex, codec, std::move(dims),
                                                    parent->defaultOdr, name, name, e.offset);
    auto *added = static_cast<StreamableNode *>(IModelNode::addChild(parent, std::move(node)));
    wrappers.append(new SimulinkDataTypes::SimulinkSignal(this, added));
}

void Interface::buildBlockStates()
{
    for (const protocol::state_t &r : stateRecords) {
        if (r.numDimensions < 1 || r.numDimensions > 2) {
            qCWarning(lcInterface)
                << "Invalid dimension size " << r.numDimensions << " for block state";
            continue;
        }
        if (r.modelRefIndex >= modelRefPaths.size() || !modelRefValid[r.modelRefIndex]) {
            qCWarning(lcInterface)
                << "Invalid model reference " << r.modelRefIndex << " for block states";
            continue;
        }
        auto codec = makeDataType(r.dataTypeIndex, r.fixedPointIndex);
        if (!codec) {
            qCWarning(lcInterface) << "Could not get datatype" << r.dataTypeIndex;
            continue;
        }
        const std::string path
            = fullPath(r.modelRefIndex, typeString(TableStatePaths, r.blockPathIndex));
        const std::string name = str(typeString(TableStateNames, r.nameIndex));
        IModelNode *block = blockAt(path);
        auto node = std::make_unique<BasicStreamableNode>(
            5, 4, this, block, r.nodeIndex, r.modelRefIndex, codec,
            dimensionsOf(r.numDimensions, r.dimensions, r.dimensionLayout), r.defaultOdr, name,
            name);
        auto *added = static_cast<StreamableNode *>(IModelNode::addChild(block, std::move(node)));
        putInTable(r.nodeIndex, added);
        wrappers.append(new SimulinkDataTypes::SimulinkSignal(this, added));
    }
}

void Interface::buildBlockParameters(bool refresh)
{
    size_t offset = 0;
    for (const protocol::param_t &r : blockParamRecords) {
        if (r.flags & 2)
            qCWarning(lcInterface) << "Model parameter in block parameter list";
        if (r.modelRefIndex >= modelRefPaths.size() || !modelRefValid[r.modelRefIndex]) {
            qCWarning(lcInterface) << "Invalid model reference " << r.modelRefIndex
                                   << " for block parameter; not all block parameters are loaded";
            return;
        }
        auto codec = makeDataType(r.dataTypeIndex, r.fixedPointIndex);
        const bool badDims = r.numDimensions < 1 || r.numDimensions > 2;
        if (!codec || badDims) {
            if (!codec)
                qCWarning(lcInterface) << "Could not get datatype" << r.dataTypeIndex;
            else
                qCWarning(lcInterface)
                    << "Invalid dimension size " << r.numDimensions << " for block parameter";
            if (r.dataTypeIndex >= model.dataTypes.size()) {
                qCWarning(lcInterface) << "Skipped block parameter data size not known: Not all "
                                          "block parameters are loaded";
                return;
            }
            offset += model.dataTypes[r.dataTypeIndex].dataSize;
            continue;
        }
        const std::string path
            = fullPath(r.modelRefIndex, typeString(TableParamPaths, r.blockPathIndex));
        const std::string name = str(typeString(TableParamNames, r.nameIndex));
        Dimensions dims = dimensionsOf(r.numDimensions, r.dimensions, r.dimensionLayout);
        const size_t bytes = size_t(dims.elementCount()) * codec->byteSize();
        if (offset > blockParamValues.size() || blockParamValues.size() - offset < bytes) {
            qCWarning(lcInterface)
                << "Raw data is not enough to initialize all the block parameters";
            return;
        }
        ValueBuffer value(blockParamValues.data() + offset, codec->byteSize(), std::move(dims));
        offset += bytes;
        IModelNode *block = blockAt(path);
        if (refresh) {
            IModelNode *found = IModelNode::findChild(block, escapeModelPath(name));
            if (found && found->isParameter())
                static_cast<ParameterNode *>(found)->refreshValues(std::move(value));
            continue;
        }
        auto node = std::make_unique<BlockParamNode>(this, block, r.nodeIndex, r.modelRefIndex,
                                                     codec, std::move(value), name, name);
        auto *added = static_cast<ParameterNode *>(IModelNode::addChild(block, std::move(node)));
        putInTable(r.nodeIndex, added);
        wrappers.append(new SimulinkDataTypes::SimulinkParameter(this, added));
    }
}

void Interface::buildModelParameters(bool refresh)
{
    size_t offset = 0;
    for (const protocol::param_t &r : modelParamRecords) {
        if (!(r.flags & 2))
            qCWarning(lcInterface) << "Block parameter in model parameter list";
        if (r.modelRefIndex >= modelRefPaths.size() || !modelRefValid[r.modelRefIndex]) {
            qCWarning(lcInterface) << "Invalid model reference " << r.modelRefIndex
                                   << " for model parameter; not all model parameters are loaded";
            return;
        }
        auto codec = makeDataType(r.dataTypeIndex, r.fixedPointIndex);
        const bool badDims = r.numDimensions < 1 || r.numDimensions > 2;
        if (!codec || badDims) {
            if (!codec)
                qCWarning(lcInterface) << "Could not get datatype" << r.dataTypeIndex;
            else
                qCWarning(lcInterface)
                    << "Invalid dimension size " << r.numDimensions << " for model parameter";
            if (r.dataTypeIndex >= model.dataTypes.size()) {
                qCWarning(lcInterface) << "Skipped model parameter data size not known: Not all "
                                          "model parameters are loaded";
                return;
            }
            offset += model.dataTypes[r.dataTypeIndex].dataSize;
            continue;
        }
        const std::string name = str(typeString(TableModelParamNames, r.nameIndex));
        Dimensions dims = dimensionsOf(r.numDimensions, r.dimensions, r.dimensionLayout);
        const size_t bytes = size_t(dims.elementCount()) * codec->byteSize();
        if (offset > modelParamValues.size() || modelParamValues.size() - offset < bytes) {
            qCWarning(lcInterface) << "Raw data is not enough to initialize all the parameters";
            return;
        }
        ValueBuffer value(modelParamValues.data() + offset, codec->byteSize(), std::move(dims));
        offset += bytes;
        IModelNode *owner = IModelNode::findByPath(root.get(), modelRefPaths[r.modelRefIndex]);
        if (!owner)
            continue;
        if (refresh) {
            IModelNode *found = IModelNode::findChild(owner, escapeModelPath(name));
            if (found && found->isParameter())
                static_cast<ParameterNode *>(found)->refreshValues(std::move(value));
            continue;
        }
        auto node = std::make_unique<ModelParamNode>(this, owner, r.nodeIndex, r.modelRefIndex,
                                                     codec, std::move(value), name, name);
        auto *added = static_cast<ParameterNode *>(IModelNode::addChild(owner, std::move(node)));
        putInTable(r.nodeIndex, added);
        wrappers.append(new SimulinkDataTypes::SimulinkParameter(this, added));
    }
}

} // namespace monitoring
