#include "SimulinkVariable.h"

#include "IModelNode.h"

namespace SimulinkDataTypes {

namespace {

struct TypeInfo
{
    const char *text;
    VariableType variableType;
};

TypeInfo typeOf(int nodeType)
{
    static const TypeInfo types[] = {
        { "model", None },
        { "subsystem", None },
        { "block", None },
        { "signal", Signal },
        { "parameter", BlockParameter },
        { "state", State },
        { "parameter", ModelParameter },
        { "signal", RootInput },
        { "signal", RootOutput },
        { "struct", None },
        { "struct", None },
        { "struct", None },
        { "signal", StructElement },
    };
    if (nodeType < 0 || nodeType > 12)
        return { "unknown", None };
    return types[nodeType];
}

QString qs(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

SimulinkVariable::SimulinkVariable(QObject *parent, monitoring::IModelNode *node)
    : QObject(parent)
    , wrapped(node)
{
    if (!node)
        return;
    name = qs(node->getDisplayName());
    path = qs(monitoring::IModelNode::pathText(node));
    if (node->getParent())
        parentPath = qs(monitoring::IModelNode::pathText(node->getParent()));
    const TypeInfo info = typeOf(node->nodeType());
    type = QLatin1String(info.text);
    variableType = info.variableType;
    generatedName = node->hasGeneratedName();
    highlighted = path.contains(QLatin1String("NimbrelHighlightedItems"), Qt::CaseInsensitive);
}

SimulinkVariable::~SimulinkVariable() = default;

void SimulinkVariable::detach()
{
    wrapped = nullptr;
}

} // namespace SimulinkDataTypes
