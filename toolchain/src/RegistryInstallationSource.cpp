#include "RegistryInstallationSource.h"

#include <QString>

namespace {

bool sameName(const std::u16string &a, const std::u16string &b)
{
    // Registry key names compare without regard to case.
    return QString::fromStdU16String(a).compare(QString::fromStdU16String(b), Qt::CaseInsensitive)
        == 0;
}

} // namespace

RegistryInstallationSource::RegistryInstallationSource(RegistryKey machineHive)
    : m_hive(std::move(machineHive))
{ }

std::map<std::string, std::string> RegistryInstallationSource::findInstallations() const
{
    std::map<std::string, std::string> found;
    scanRegistryKey(u"SOFTWARE\\MathWorks\\", found);
    return found;
}

const RegistryKey *RegistryInstallationSource::openKey(const std::u16string &path) const
{
    const RegistryKey *key = &m_hive;
    const QStringList parts
        = QString::fromStdU16String(path).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const RegistryKey *next = nullptr;
        for (const RegistryKey &sub : key->subKeys) {
            if (sameName(sub.name, part.toStdU16String())) {
                next = &sub;
                break;
            }
        }
        if (!next || !next->openable)
            return nullptr;
        key = next;
    }
    return key;
}

void RegistryInstallationSource::scanRegistryKey(const std::u16string &path,
                                                 std::map<std::string, std::string> &found) const
{
    const RegistryKey *key = openKey(path);
    if (!key)
        return;
    for (const RegistryKey &sub : key->subKeys) {
        // The name buffer holds 255 characters including the terminator.
        if (sub.name.size() >= std::size_t(NameCapacity))
            break;
        scanRegistryKey(path + sub.name + u"\\", found);
    }
    scanRegistryValues(*key, found);
}

void RegistryInstallationSource::scanRegistryValues(const RegistryKey &key,
                                                    std::map<std::string, std::string> &found) const
{
    for (const RegistryValue &value : key.values) {
        if (value.name.size() >= std::size_t(NameCapacity)
            || value.data.size() * 2 > std::size_t(DataCapacityBytes))
            break;
        if (value.type != RegistryValue::StringType)
            continue;
        std::u16string text = value.data;
        if (const std::size_t nul = text.find(u'\0'); nul != std::u16string::npos)
            text.resize(nul);
        addInstallationFromPath(found, QString::fromStdU16String(text).toLocal8Bit().toStdString(),
                                '\\');
    }
}
