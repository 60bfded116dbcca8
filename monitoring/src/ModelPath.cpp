#include "ModelPath.h"

namespace monitoring {

std::string escapeModelPath(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        out += c;
        if (c == '/')
            out += '/';
    }
    return out;
}

std::string unescapeModelPath(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '/') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '/') {
            out += '/';
            ++i;
        }
    }
    return out;
}

PathSplit splitModelPath(std::string_view path)
{
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/')
            continue;
        if (i + 1 < path.size() && path[i + 1] == '/') {
            ++i;
            continue;
        }
        return { path.substr(0, i), path.substr(i + 1), true };
    }
    return { path, {}, false };
}

PathSplit splitModelPathLast(std::string_view path)
{
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] != '/')
            continue;
        if (i == 0)
            return { path.substr(0, 0), path.substr(1), true };
        if (path[i - 1] == '/') {
            --i;
            continue;
        }
        return { path.substr(0, i), path.substr(i + 1), true };
    }
    return { {}, path, false };
}

std::string_view modelPathTail(std::string_view path)
{
    return splitModelPath(path).second;
}

} // namespace monitoring
