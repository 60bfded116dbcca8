#include "IModelNode.h"

#include "BasicNode.h"
#include "ModelPath.h"

#include <charconv>

namespace monitoring {

namespace {

constexpr std::string_view SuffixMark = "####";

IModelNode *childByKey(const IModelNode *node, std::string_view key)
{
    for (const auto &child : node->getChildren()) {
        if (child->getKeyName() == key)
            return child.get();
    }
    return nullptr;
}

// An optional "-" and the digits up to the first non-digit; 0 when none or too large.
long long suffixNumber(std::string_view suffix)
{
    int value = 0;
    const char *begin = suffix.data();
    const char *end = begin + suffix.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr == begin)
        return 0;
    return value;
}

} // namespace

IModelNode::IModelNode(NodeOwner *owner, IModelNode *parent, std::string displayName,
                       std::string keyName)
    : owner(owner)
    , parent(parent)
    , displayName(std::move(displayName))
    , keyName(std::move(keyName))
    , baseLength(this->keyName.size())
{ }

IModelNode::~IModelNode() = default;

std::string_view IModelNode::baseName() const
{
    return std::string_view(keyName).substr(0, baseLength);
}

std::string_view IModelNode::nameSuffix() const
{
    if (!hasSuffix)
        return {};
    return std::string_view(keyName).substr(baseLength + SuffixMark.size());
}

IModelNode *IModelNode::insertChild(IModelNode *root, std::string_view parentPath,
                                    std::unique_ptr<IModelNode> node)
{
    PathSplit split = splitModelPath(parentPath);
    IModelNode *at = root;
    while (split.found) {
        split = splitModelPath(split.second);
        const std::string name = unescapeModelPath(split.first);
        IModelNode *next = childByKey(at, name);
        if (!next) {
            at->children.push_back(std::make_unique<SubsystemNode>(root->owner, at, name));
            next = at->children.back().get();
        }
        at = next;
    }
    node->parent = at;
    at->children.push_back(std::move(node));
    return at->children.back().get();
}

IModelNode *IModelNode::addChild(IModelNode *parent, std::unique_ptr<IModelNode> node)
{
    IModelNode *last = nullptr;
    for (const auto &child : parent->children) {
        if (child->baseName() == node->getKeyName())
            last = child.get();
    }
    if (last) {
        long long n = 0;
        if (!last->hasSuffix)
            setNameSuffix(last, "0");
        else
            n = suffixNumber(last->nameSuffix());
        setNameSuffix(node.get(), std::to_string(n + 1));
    }
    parent->children.push_back(std::move(node));
    return parent->children.back().get();
}

IModelNode *IModelNode::findChild(const IModelNode *node, std::string_view path)
{
    const PathSplit split = splitModelPath(path);
    IModelNode *candidate = childByKey(node, unescapeModelPath(split.first));
    if (!candidate || !split.found)
        return candidate;
    return findChild(candidate, split.second);
}

IModelNode *IModelNode::findByPath(IModelNode *root, std::string_view path)
{
    const PathSplit split = splitModelPath(path);
    if (!split.found)
        return root;
    return findChild(root, split.second);
}

std::string IModelNode::pathText(const IModelNode *node)
{
    if (!node->parent)
        return escapeModelPath(node->keyName);
    return pathText(node->parent) + '/' + escapeModelPath(node->keyName);
}

void IModelNode::setNameSuffix(IModelNode *node, std::string_view suffix)
{
    node->keyName.resize(node->baseLength);
    node->keyName.append(SuffixMark);
    node->keyName.append(suffix);
    node->hasSuffix = true;
}

} // namespace monitoring
