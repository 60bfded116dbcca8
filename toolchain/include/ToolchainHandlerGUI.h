#pragma once

#include "InstalledMatlabEntry.h"
#include "ToolchainHandler.h"

#include <QList>
#include <QObject>

#include <memory>

// The toolchain list for QML (context property toolchainInstall): one row per MATLAB release
// found at start-up, in version-key order, and the engine that works for them. The rows are made
// once; releases installed while the program runs show up at the next start. GUI thread only.
class ToolchainHandlerGUI : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<InstalledMatlabEntry *> installedMatlabs READ installedMatlabs NOTIFY
                   InstalledMatlabsChanged)

public:
    explicit ToolchainHandlerGUI(QObject *parent = nullptr,
                                 std::unique_ptr<MatlabHelper> matlab = nullptr);
    ~ToolchainHandlerGUI() override;

    QList<InstalledMatlabEntry *> installedMatlabs() const { return m_installedMatlabs; }
    ToolchainHandler &engine() { return *m_engine; }

    Q_INVOKABLE void updateAllMatlabs();

signals:
    void InstalledMatlabsChanged(QList<InstalledMatlabEntry *> installedMatlabs);

public slots:
    void installToolchainUriReceived(QString version, QString msg, int32_t progress, int32_t flags,
                                     bool isUninstall);
    void setVisibility(bool isVisible);

private slots:
    void latestToolchainVersionAvailable();
    void installedToolchainsUpdated();

private:
    std::unique_ptr<ToolchainHandler> m_engine;
    QList<InstalledMatlabEntry *> m_installedMatlabs;
};
