#include "DeveloperModule.h"

#include "ControlChannel.h"
#include "ManufacturingModule.h"
#include "Pelto.h"

#include <cmath>

DeveloperModule::DeveloperModule(QObject *parent)
    : QObject(parent)
    , m_manufacturing(new ManufacturingModule(this))
{
}

bool DeveloperModule::mscState() const
{
    return m_pelto && m_pelto->getPeltoMscState();
}

void DeveloperModule::setDevice(const OrvDevice *device)
{
    if (m_pelto)
        disconnect(m_pelto, nullptr, this, nullptr);
    if (!device) {
        m_pelto = nullptr;
    } else if (device->getDeviceType() == OrvDevice::Pelto) {
        // The device signals are connected, not called: the module never changes the device.
        m_pelto = const_cast<Pelto *>(qobject_cast<const Pelto *>(device));
        if (m_pelto) {
            connect(m_pelto, &Pelto::UpdateProgressChanged, this,
                    &DeveloperModule::updateProgressUpdated);
            connect(m_pelto, &Pelto::MscStatusChanged, this, &DeveloperModule::MscStateChanged);
        }
    }
    emit PeltoAvailableChanged(!m_pelto.isNull());
}

void DeveloperModule::updateProgressUpdated(float progress)
{
    if (progress == m_flashUploadPercentage && !std::isnan(progress))
        return;
    m_flashUploadPercentage = progress;
    emit UpdateProgressChanged(progress);
}

void DeveloperModule::fileDialog(QUrl url)
{
    emit FileDialogUrlReceived(url);
}

void DeveloperModule::goToSerialDownloader()
{
    if (m_pelto && m_pelto->getControlChannel())
        m_pelto->getControlChannel()->goToSerialDownloaderMode();
}

void DeveloperModule::setMscState(bool state)
{
    if (!m_pelto || !m_pelto->getControlChannel())
        return;
    if (state)
        m_pelto->getControlChannel()->mscInsert();
    else
        m_pelto->getControlChannel()->mscEject();
}

void DeveloperModule::restoreDefaultSettings()
{
    if (m_pelto && m_pelto->getControlChannel())
        m_pelto->getControlChannel()->restoreDefaultSettings();
}
