#include "Pelto.h"

#include "DatalinkManager.h"

// The Pelto's channel services: each exists from the device's answer that the service is open to
// its answer that it is closed, or to the end of the connection.

void Pelto::disposeOfServices()
{
    if (m_errorChannel) {
        m_errorChannel->deleteLater();
        m_errorChannel = nullptr;
    }
    if (m_fileControl) {
        m_fileControl->deleteLater();
        m_fileControl = nullptr;
    }
    if (m_updateService) {
        m_updateService->deleteLater();
        m_updateService = nullptr;
    }
}

void Pelto::tempUploadFirmware(QUrl firmwareFile)
{
    if (m_updateService) {
        m_updateService->startUpdateFromFile(firmwareFile, SoftwareUpdate::None);
        return;
    }
    // The file waits until the device reports the update service open; that answer starts it.
    m_pendingFirmwareUrl = firmwareFile.toString();
    openCloseUpdateService(true);
}

void Pelto::handleUpdateServiceOpenedClosed(ControlChannel::ResponseCode response, bool isOpen)
{
    if (response == ControlChannel::Answer) {
        if (isOpen && !m_updateService) {
            auto *service = new SoftwareUpdate(this, 4, true, manager());
            service->initialize();
            connect(service, &SoftwareUpdate::UpdateProgressChanged, this,
                    &Pelto::updateUpdateProgress);
            connect(service, &SoftwareUpdate::SetVersionESPReceived, this, &Pelto::setVersionESP);
            connect(
                service, &SoftwareUpdate::AddToAutoConnect, this,
                [this] { emit AddToAutoConnectSignal(this, getActiveDatalink()); },
                Qt::DirectConnection);
            m_updateService = service;
            if (!m_pendingFirmwareUrl.isEmpty())
                service->startUpdateFromFile(QUrl(m_pendingFirmwareUrl), SoftwareUpdate::None);
            m_pendingFirmwareUrl.clear();
        } else if (!isOpen && m_updateService) {
            m_updateService->deleteLater();
            m_updateService = nullptr;
        }
    }
    emit UpdateServiceOpenedClosed(m_updateService);
}

namespace {

PeltoMonitorFactory &monitorFactory()
{
    static PeltoMonitorFactory factory;
    return factory;
}

} // namespace

void Pelto::setMonitorFactory(PeltoMonitorFactory factory)
{
    monitorFactory() = std::move(factory);
}

void Pelto::handleMonitoringServiceOpenedClosed(ControlChannel::ResponseCode response, bool isOpen)
{
    if (response == ControlChannel::Answer) {
        if (isOpen) {
            if (!m_externalMonitor && monitorFactory()) {
                m_externalMonitor = monitorFactory()(this, manager(), m_buildId);
                if (m_externalMonitor)
                    connect(this, &Pelto::BuildIDChanged, m_externalMonitor,
                            &PeltoMonitor::setCurrentBuildID);
            }
            if (m_externalMonitor)
                m_externalMonitor->start();
        } else if (m_externalMonitor) {
            m_externalMonitor->deleteLater();
            m_externalMonitor = nullptr;
        }
    }
    emit MonitoringOpenedClosed(m_externalMonitor);
    m_monitoringServiceRunning = isOpen;
    emit monitoringServiceRunningChanged();
}

void Pelto::handleFileControlOpenedClosed(ControlChannel::ResponseCode response, bool isOpen)
{
    if (response == ControlChannel::Answer) {
        if (isOpen && !m_fileControl) {
            m_fileControl = new FileControlChannel(this, 9, true, manager());
        } else if (!isOpen && m_fileControl) {
            m_fileControl->deleteLater();
            m_fileControl = nullptr;
        }
    }
    emit FileControlOpenedClosed(m_fileControl);
}

void Pelto::handleErrorChannelServiceOpenedClosed(ControlChannel::ResponseCode response,
                                                  bool isOpen)
{
    if (response == ControlChannel::Answer) {
        if (isOpen && !m_errorChannel) {
            auto *channel = new ErrorChannel(this, 6, true, manager());
            connect(channel, &ErrorChannel::kernelMessageReceived, this,
                    &Pelto::kernelMessageReceived);
            connect(channel, &ErrorChannel::messageReceived, this, &Pelto::appMessageReceived);
            connect(channel, &ErrorChannel::kernelMessageReceived, this, &Pelto::messageReceived);
            connect(channel, &ErrorChannel::messageReceived, this, &Pelto::messageReceived);
            m_errorChannel = channel;
            channel->sendLogLevel(2);
        } else if (!isOpen && m_errorChannel) {
            m_errorChannel->deleteLater();
            m_errorChannel = nullptr;
        }
    }
    emit ErrorChannelOpenedClosed(m_errorChannel);
}

void Pelto::updateUpdateProgress(float value)
{
    m_updatePercentage = value;
    emit UpdateProgressChanged(value);
}

void Pelto::updateUpdateState(SoftwareUpdate::UpdateState value)
{
    DatalinkManager *links = manager();
    if (!links)
        return;
    switch (value) {
    case SoftwareUpdate::Started:
        links->commChannel()->restartWatchdog(10000);
        break;
    case SoftwareUpdate::UpdateFinished:
    case SoftwareUpdate::TimedOut:
    case SoftwareUpdate::UpdateError:
        links->commChannel()->restartWatchdog(15000);
        break;
    default:
        break;
    }
}
