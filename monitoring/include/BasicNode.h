#pragma once

#include "IModelNode.h"

namespace monitoring {

// The model (0), a subsystem (1) or a block (2): a named place in the tree.
template<int N> class BasicNode : public IModelNode
{
public:
    BasicNode(NodeOwner *owner, IModelNode *parent, const std::string &name)
        : IModelNode(owner, parent, name, name)
    { }
    int nodeType() const override { return N; }
};

using ModelNode = BasicNode<0>;
using SubsystemNode = BasicNode<1>;
using BlockNode = BasicNode<2>;

} // namespace monitoring
