#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace monitoring {

class NodeOwner;

// A node of the model tree: the model, its subsystems and blocks, and the items below the
// blocks. A node owns its children. The key name is the node's path element; siblings with equal
// names are told apart by "####" and a number.
class IModelNode
{
public:
    IModelNode(NodeOwner *owner, IModelNode *parent, std::string displayName, std::string keyName);
    virtual ~IModelNode();
    IModelNode(const IModelNode &) = delete;
    IModelNode &operator=(const IModelNode &) = delete;

    virtual int nodeType() const = 0;
    virtual bool isStreamable() const { return false; }
    virtual bool isParameter() const { return false; }
    virtual bool isStruct() const { return false; }

    NodeOwner *getOwner() const { return owner; }
    IModelNode *getParent() const { return parent; }
    const std::vector<std::unique_ptr<IModelNode>> &getChildren() const { return children; }
    const std::string &getDisplayName() const { return displayName; }
    const std::string &getKeyName() const { return keyName; }
    std::string_view baseName() const;
    std::string_view nameSuffix() const;
    bool hasGeneratedName() const { return generatedName; }
    void setGeneratedName(bool generated) { generatedName = generated; }

    // Attaches `node` below the node the parent path names (the first component is the model,
    // the root itself), creating missing components as subsystems.
    static IModelNode *insertChild(IModelNode *root, std::string_view parentPath,
                                   std::unique_ptr<IModelNode> node);
    // Appends `node`, which already names `parent` as its parent, numbering equal names.
    static IModelNode *addChild(IModelNode *parent, std::unique_ptr<IModelNode> node);
    static IModelNode *findChild(const IModelNode *node, std::string_view path);
    static IModelNode *findByPath(IModelNode *root, std::string_view path);
    static std::string pathText(const IModelNode *node);
    static void setNameSuffix(IModelNode *node, std::string_view suffix);

private:
    NodeOwner *const owner;
    IModelNode *parent;
    std::vector<std::unique_ptr<IModelNode>> children;
    std::string displayName;
    std::string keyName;
    size_t baseLength;
    bool hasSuffix = false;
    bool generatedName = false;
};

} // namespace monitoring
