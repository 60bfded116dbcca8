#pragma once

#include <QStringList>

#include <map>
#include <memory>
#include <string>

// Where MATLAB installations are found: the version key of each release mapped to its root folder
// (the folder named after the release, such as .../R2021a). The first hit in the source's order
// wins. On Linux the source is a scan of installation folders (DirectoryInstallationSource); the
// registry walk of the Windows program is kept as RegistryInstallationSource over a registry tree.
class MatlabInstallationSource
{
public:
    virtual ~MatlabInstallationSource() = default;

    virtual std::map<std::string, std::string> findInstallations() const = 0;

    // The folders of this system: NIMBREL_MATLAB_ROOTS (colon-separated) when set, otherwise
    // /usr/local/MATLAB and /opt/MATLAB.
    static std::unique_ptr<MatlabInstallationSource> system();

    // One text naming a file or folder inside an installation, separator being the path
    // separator: the root folder ends six characters after the first separator + "R20". Texts
    // that end before that, lie below a "ProgramData" folder or name no usable release are
    // skipped; a key already found keeps its first root.
    static void addInstallationFromPath(std::map<std::string, std::string> &found,
                                        const std::string &text, char separator);
};
