#pragma once

#include <string>
#include <string_view>

// Simulink model paths: components separated by "/", a "/" inside a name written as "//".
namespace monitoring {

struct PathSplit
{
    std::string_view first; // head, or the parent path
    std::string_view second; // rest, or the last component
    bool found = false;
};

std::string escapeModelPath(std::string_view name);
std::string unescapeModelPath(std::string_view text);
PathSplit splitModelPath(std::string_view path);
PathSplit splitModelPathLast(std::string_view path);
std::string_view modelPathTail(std::string_view path);

} // namespace monitoring
