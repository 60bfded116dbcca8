#include "ToolchainHandlerGUI.h"

#include "VersionControl.h"

#include <QLoggingCategory>

#include <stdexcept>

Q_LOGGING_CATEGORY(lcToolchainList, "Toolchain.ToolchainHandlerGUI")

ToolchainHandlerGUI::ToolchainHandlerGUI(QObject *parent, std::unique_ptr<MatlabHelper> matlab)
    : QObject(parent)
    , m_engine(std::make_unique<ToolchainHandler>(nullptr, std::move(matlab)))
{
    connect(m_engine.get(), &ToolchainHandler::VersionInfoAvailable, this,
            &ToolchainHandlerGUI::latestToolchainVersionAvailable, Qt::QueuedConnection);
    connect(m_engine.get(), &ToolchainHandler::InstalledToolchainsChanged, this,
            &ToolchainHandlerGUI::installedToolchainsUpdated, Qt::QueuedConnection);
    for (const auto &[key, launcher] : m_engine->installedMatlabs()) {
        InstalledMatlabEntry *row = nullptr;
        try {
            row = new InstalledMatlabEntry(this, m_engine.get(), QString::fromStdString(key));
        } catch (const std::exception &error) {
            qCDebug(lcToolchainList) << error.what();
            continue;
        }
        // Both arrive on the GUI thread: the engine re-emits its worker's reports there.
        connect(m_engine.get(), &ToolchainHandler::InstallProgressUpdated, row,
                &InstalledMatlabEntry::progressUpdated, Qt::DirectConnection);
        connect(m_engine.get(), &ToolchainHandler::InstallProgressUpdatedFromThread, row,
                &InstalledMatlabEntry::progressUpdated, Qt::DirectConnection);
        m_installedMatlabs.append(row);
    }
    emit InstalledMatlabsChanged(m_installedMatlabs);
}

// The engine goes first: it joins its worker, which may still report to the rows.
ToolchainHandlerGUI::~ToolchainHandlerGUI()
{
    m_engine.reset();
}

void ToolchainHandlerGUI::updateAllMatlabs()
{
    m_engine->updateAllMatlabs();
}

void ToolchainHandlerGUI::installToolchainUriReceived(QString version, QString msg,
                                                      int32_t progress, int32_t flags,
                                                      bool isUninstall)
{
    m_engine->handleInstallProgress(version.toStdString(), msg.toStdString(), progress, flags,
                                    isUninstall);
}

void ToolchainHandlerGUI::setVisibility(bool isVisible)
{
    for (InstalledMatlabEntry *row : std::as_const(m_installedMatlabs))
        row->setVisible(isVisible);
}

void ToolchainHandlerGUI::latestToolchainVersionAvailable()
{
    const QByteArray latest
        = VersionControl::instance()
              ->getLatestComponentVersion(QLatin1String(ToolchainHandler::Component))
              .toUtf8();
    for (InstalledMatlabEntry *row : std::as_const(m_installedMatlabs))
        row->setLatestToolchainVersion(latest);
}

void ToolchainHandlerGUI::installedToolchainsUpdated()
{
    const auto toolchains = m_engine->installedToolchains();
    for (InstalledMatlabEntry *row : std::as_const(m_installedMatlabs)) {
        const auto found = toolchains.find(row->matlabVersion().toStdString());
        row->setToolchainVersion(
            found == toolchains.end() ? QByteArray() : QByteArray::fromStdString(found->second));
    }
}
