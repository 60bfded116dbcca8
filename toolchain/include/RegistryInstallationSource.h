#pragma once

#include "MatlabInstallationSource.h"

#include <string>
#include <vector>

// A registry hive as the installation search sees it: keys with sub-keys and typed values, in
// enumeration order. Strings are UTF-16 as the registry stores them; data holds the value's bytes
// as UTF-16 units (a terminating NUL is part of the data when the writer stored one).
struct RegistryValue
{
    static constexpr int StringType = 1; // REG_SZ

    std::u16string name;
    int type = StringType;
    std::u16string data;
};

struct RegistryKey
{
    std::u16string name;
    std::vector<RegistryKey> subKeys;
    std::vector<RegistryValue> values;
    // A key the caller may not open hides everything below it.
    bool openable = true;
};

// The search of MATLAB's registry entries below "SOFTWARE\MathWorks\" in the machine hive, depth
// first (a key's sub-keys before its own values), with the fixed buffer sizes of the Windows
// calls: a sub-key or value name of 255 characters or more, or string data of more than 255
// bytes, ends the enumeration of that key's sub-keys or values.
class RegistryInstallationSource : public MatlabInstallationSource
{
public:
    explicit RegistryInstallationSource(RegistryKey machineHive);

    std::map<std::string, std::string> findInstallations() const override;

    static constexpr int NameCapacity = 255;
    static constexpr int DataCapacityBytes = 255;

private:
    const RegistryKey *openKey(const std::u16string &path) const;
    void scanRegistryKey(const std::u16string &path,
                         std::map<std::string, std::string> &found) const;
    void scanRegistryValues(const RegistryKey &key,
                            std::map<std::string, std::string> &found) const;

    RegistryKey m_hive;
};
