#pragma once

#include "MatlabInstallationSource.h"

// Installations as MATLAB's Linux installer lays them out: one folder per release named
// "R20??a" or "R20??b" directly inside an installation folder, with the launcher script
// bin/matlab. Folders are searched in the order given, releases by name.
class DirectoryInstallationSource : public MatlabInstallationSource
{
public:
    explicit DirectoryInstallationSource(QStringList roots);

    std::map<std::string, std::string> findInstallations() const override;

private:
    QStringList m_roots;
};
