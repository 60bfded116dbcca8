#include "MatlabVersion.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

std::string matlabReleaseToVersion(const std::string &release)
{
    static const char *const unknown = "Unkown readable MATLAB type";
    if (release.size() < 6 || release.find("R20") == std::string::npos)
        throw std::invalid_argument(unknown);
    // The year and suffix sit at fixed positions, wherever "R20" was found.
    const int year = std::atoi(release.substr(3, 2).c_str());
    const char suffix = release[5];
    float value = 0.0f;
    if (year >= 16)
        value = 9.005f + float(year - 16) * 0.02f;
    else if (year >= 12)
        value = 8.005f + float(year - 12) * 0.02f;
    else if (year >= 6)
        value = 7.025f + float(year - 6) * 0.02f;
    else
        throw std::invalid_argument(unknown);
    if (suffix == 'b')
        value += 0.01f;
    char text[64];
    std::snprintf(text, sizeof text, "%f", double(value));
    // The half-step offset keeps this cut away from a rounding edge.
    return std::string(text).substr(0, 4);
}

std::string matlabVersionToRelease(const std::string &version)
{
    static const char *const unknown = "Unkown MATLAB version";
    if (version.empty() || version.size() > 5)
        throw std::invalid_argument(unknown);
    const char *begin = version.c_str();
    char *end = nullptr;
    errno = 0;
    const float read = std::strtof(begin, &end);
    if (end == begin)
        throw std::invalid_argument("invalid stof argument");
    if (errno == ERANGE)
        throw std::out_of_range("stof argument out of range");
    const float w = float(double(read) + 0.001);
    int n = 0;
    int year = 0;
    if (w >= 9.0f) {
        n = int((w - 9.0f) * 100.0f);
        year = 16 + n / 2;
    } else if (w >= 8.0f) {
        n = int((w - 8.0f) * 100.0f) + 1;
        year = 12 + n / 2;
    } else if (w >= 7.02f) {
        n = int((w - 7.02f) * 100.0f);
        year = 6 + n / 2;
    } else {
        throw std::invalid_argument(unknown);
    }
    std::string result = "R20";
    if (year < 10)
        result += '0';
    result += std::to_string(year);
    result += (n % 2 != 0) ? 'b' : 'a';
    return result;
}
