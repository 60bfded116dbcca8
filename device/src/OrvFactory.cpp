#include "OrvFactory.h"

#include "DatalinkManager.h"
#include "ErrorHandler.h"
#include "Pelto.h"
#include "UsbDiscovery.h"
#include "WifiDatalink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcOrvFactory, "Device.OrvFactory")

namespace {
// The address a device has in its own access-point network: where a device that lost its
// Wi-Fi link without telling its address is looked for again.
const QString directDeviceAddress = QStringLiteral("192.168.192.2");

void notifyWifiFailure(const QString &title, const QString &message)
{
    ErrorHandler::instance()->pushNotification(nimbrel::Warning, AbstractNotification::NimbrelLab,
                                               title, message, QStringLiteral("Wi-Fi connection"),
                                               QDateTime::currentDateTimeUtc());
}

// The file dialog hands over local paths; as URLs they must keep saying "local file".
QUrl firmwareUrl(const QString &text)
{
    return QDir::isAbsolutePath(text) ? QUrl::fromLocalFile(text) : QUrl(text);
}
} // namespace

OrvFactory::OrvFactory(QObject *parent, const OrvFactorySettings &settings)
    : QObject(parent)
    , m_settings(settings)
{
    m_reconnectTimer.setSingleShot(true);
    if (!m_settings.createWifiLink) {
        const WifiDatalinkSettings wifi = m_settings.wifi;
        m_settings.createWifiLink = [wifi](QObject *owner, const QHostAddress &address) {
            return new WifiDatalink(owner, address, true, true, wifi);
        };
    }
    if (m_settings.useUsb)
        startUsb();
}

OrvFactory::~OrvFactory()
{
    m_shuttingDown = true;
    // No new device may appear while the others go; a link handed over just before is still
    // on its way here as a queued call and is dropped by promoteToUSBOrvdevice.
    if (m_usb)
        m_usb->stopDiscovery();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    m_reconnectTimer.stop();
    if (WifiDatalink *attempt = releaseAttempt(); attempt && attempt->parent() == this)
        delete attempt;
    deleteDevicesNow();

    if (m_usb) {
        // Each USB link handed its device back when it was deleted (queued); release them while
        // libusb still runs, then leave it.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        m_usb->shutdown();
        m_usb.reset();
    }
}

void OrvFactory::deleteDevicesNow()
{
    // Receivers of the active device must not keep a device that is about to go.
    if (m_selectedDevice) {
        m_selectedDevice = nullptr;
        emit SelectedDeviceChanged(nullptr);
        emit ActiveDeviceChanged(nullptr);
    }
    m_devices.clear();
    m_pendingDevices.clear();
    m_deviceList.clear();
    // Listed devices, and devices and links whose deferred deletion is still pending: a USB link
    // must never outlive the libusb context it points to.
    for (OrvDevice *device : findChildren<OrvDevice *>(QString(), Qt::FindDirectChildrenOnly)) {
        // Deleting a device makes its links report their end; nothing of that may come back
        // here as a removal or a reconnection.
        disconnect(device, nullptr, this, nullptr);
        delete device;
    }
    qDeleteAll(findChildren<USBDataLink *>(QString(), Qt::FindDirectChildrenOnly));
}

// --- USB --------------------------------------------------------------------------------------

void OrvFactory::startUsb()
{
    qRegisterMetaType<USBDataLink *>();
    const UsbDiscovery::Timing timing{ m_settings.usbFirstPassDelayMs,
                                       m_settings.usbPassIntervalMs };
    m_usb = std::make_unique<UsbDiscovery>(
        timing, [this](USBDataLink *link) { emit USBOrvdeviceDiscovered(link); }, thread());
    if (!m_usb->isAvailable()) {
        qCWarning(lcOrvFactory) << "Could not initialise USB driver.";
        m_usb.reset();
        return;
    }
    connect(this, &OrvFactory::USBOrvdeviceDiscovered, this, &OrvFactory::promoteToUSBOrvdevice,
            Qt::QueuedConnection);
    m_usb->start();
}

bool OrvFactory::isUsbAvailable() const
{
    return m_usb != nullptr;
}

int OrvFactory::usbDeviceCount() const
{
    return m_usb ? m_usb->knownDeviceCount() : 0;
}

bool OrvFactory::isUsbEventThreadRunning() const
{
    return m_usb && m_usb->isEventThreadRunning();
}

long OrvFactory::usbDiscoveryPasses() const
{
    return m_usb ? m_usb->passCount() : 0;
}

void OrvFactory::promoteToUSBOrvdevice(USBDataLink *datalink)
{
    if (datalink) {
        datalink->setParent(this);
        connect(datalink, &USBDataLink::DeleteUsb, this, &OrvFactory::deinitUSBDevice,
                Qt::QueuedConnection);
        if (m_shuttingDown) {
            delete datalink;
        } else if (datalink->claimDatalinkInterface()) {
            // Its destruction hands the device back, and discovery tries it again next pass.
            datalink->deleteLater();
        } else {
            promoteToOrvDevice(datalink);
        }
    }
    if (m_usb)
        m_usb->handOverDone();
}

void OrvFactory::deinitUSBDevice(void *devHandle, void *device, int interfaceNumber,
                                 void *transferIn, void *transferOut)
{
    if (!m_usb)
        return;
    m_usb->release(static_cast<libusb_device_handle *>(devHandle),
                   static_cast<libusb_device *>(device), interfaceNumber,
                   static_cast<libusb_transfer *>(transferIn),
                   static_cast<libusb_transfer *>(transferOut));
}

void OrvFactory::setConnectionAttempt(bool running)
{
    if (m_connectionAttemptRunning == running)
        return;
    m_connectionAttemptRunning = running;
    emit ConnectionAttemptChanged(running);
}

void OrvFactory::setConnectionAttemptAddress(const QString &address)
{
    if (m_connectionAttemptAddress == address)
        return;
    m_connectionAttemptAddress = address;
    emit ConnectionAttemptAddressChanged();
}

void OrvFactory::autoConnectUpdated(bool checked)
{
    m_autoConnect = checked;
}

// --- Wi-Fi connection attempts -------------------------------------------------------------

void OrvFactory::insertNetworkOrvDevice(QString hostAdress)
{
    if (m_connectionAttempt) {
        qCInfo(lcOrvFactory)
            << "could not attempt new connection, connection attempt is still active";
        return;
    }
    const QHostAddress address(hostAdress.trimmed());
    if (address.isNull()) {
        qCWarning(lcOrvFactory) << "Not a network address, no connection attempted:" << hostAdress;
        notifyWifiFailure(QStringLiteral("No Wi-Fi connection started"),
                          QStringLiteral("\"%1\" is not a network address. Enter the IP address of "
                                         "the device, for example 192.168.192.2.")
                              .arg(hostAdress));
        return;
    }
    WifiDatalink *link = m_settings.createWifiLink(this, address);
    if (!link) {
        qCWarning(lcOrvFactory) << "No Wi-Fi link could be made for" << hostAdress;
        return;
    }
    // A retry that was waiting is overtaken by this attempt.
    m_reconnectTimer.stop();
    if (!m_retrying || hostAdress != m_connectionAttemptAddress)
        m_failedAttempts = 0;

    m_connectionAttemptAddress = hostAdress;
    emit ConnectionAttemptAddressChanged();
    holdAttempt(link);
    m_connectionAttemptRunning = true;
    emit ConnectionAttemptChanged(true);
    link->initialise();
}

void OrvFactory::holdAttempt(WifiDatalink *link)
{
    m_connectionAttempt = link;
    m_attemptConnections = {
        connect(link, &WifiDatalink::aboutToBeDeleted, this, &OrvFactory::connectionAttemptFailed),
        connect(link, &WifiDatalink::connectionSuccesful, this,
                &OrvFactory::connectionAttemptCompleted),
        connect(link, &AbstractDataLink::datalinkStateSignal, this,
                &OrvFactory::connectionAttemptStateChanged),
    };
}

WifiDatalink *OrvFactory::releaseAttempt()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_attemptConnections))
        disconnect(connection);
    m_attemptConnections.clear();
    WifiDatalink *link = m_connectionAttempt;
    m_connectionAttempt = nullptr;
    return link;
}

void OrvFactory::connectionAttemptCompleted()
{
    qCInfo(lcOrvFactory) << "connection succeeded";
    if (m_connectionAttempt) {
        qCInfo(lcOrvFactory) << "promoting to orvdevice from wifi";
        WifiDatalink *link = releaseAttempt();
        promoteToOrvDevice(link);
        // Reported again now that the link manager listens: it asks for the device's identity.
        link->connected();
    }
    m_connectionAttemptRunning = false;
    emit ConnectionAttemptChanged(false);
}

void OrvFactory::connectionAttemptStateChanged(AbstractDataLink::LinkType type,
                                               AbstractDataLink::DatalinkState state)
{
    Q_UNUSED(type);
    qCDebug(lcOrvFactory) << "connection state changed" << state;
    if (state == AbstractDataLink::Invalid) {
        qCInfo(lcOrvFactory) << "state invalid";
        connectionAttemptFailed();
    }
}

void OrvFactory::connectionAttemptFailed()
{
    qCInfo(lcOrvFactory) << "connection attempt failed";
    WifiDatalink *link = releaseAttempt();
    if (link && link->parent() == this)
        link->deleteLater();
    m_connectionAttemptRunning = false;
    emit ConnectionAttemptChanged(false);

    if (link && m_settings.maxFailedAttempts > 0 && !m_shuttingDown
        && ++m_failedAttempts >= m_settings.maxFailedAttempts) {
        giveUpAttempt();
        return;
    }

    if (m_retryFailedAttempts && !m_reconnectTimer.isActive() && !m_shuttingDown) {
        qCInfo(lcOrvFactory).noquote() << "retrying to connect with: " + m_connectionAttemptAddress;
        m_reconnectTimer.setInterval(m_settings.reconnectDelayMs);
        connect(&m_reconnectTimer, &QTimer::timeout, this, &OrvFactory::handleReconnectTimerTimeOut,
                Qt::UniqueConnection);
        m_reconnectTimer.start();
        m_connectionAttemptRunning = true;
        emit ConnectionAttemptChanged(true);
    }
}

void OrvFactory::handleReconnectTimerTimeOut()
{
    disconnect(&m_reconnectTimer, &QTimer::timeout, this, &OrvFactory::handleReconnectTimerTimeOut);
    m_reconnectTimer.stop();
    m_retrying = true;
    insertNetworkOrvDevice(m_connectionAttemptAddress);
    m_retrying = false;
}

void OrvFactory::giveUpAttempt()
{
    // One notification for the whole series of attempts, none per retry.
    qCWarning(lcOrvFactory).noquote() << "giving up connecting to" << m_connectionAttemptAddress
                                      << "after" << m_failedAttempts << "attempts";
    m_reconnectTimer.stop();
    notifyWifiFailure(QStringLiteral("Wi-Fi connection failed"),
                      QStringLiteral("The device at %1 did not accept the connection. Gave up "
                                     "after %2 attempts; check the address and the network and "
                                     "try again.")
                          .arg(m_connectionAttemptAddress)
                          .arg(m_failedAttempts));
    m_failedAttempts = 0;
}

void OrvFactory::cancelConnectionAttempt()
{
    qCInfo(lcOrvFactory) << "cancel connection command Orvfactory";
    // Whatever is cancelled, no retry may start an attempt afterwards.
    m_reconnectTimer.stop();
    if (!m_connectionAttempt) {
        qCInfo(lcOrvFactory) << "stopped reconnect Timer";
        m_connectionAttemptRunning = false;
        emit ConnectionAttemptChanged(false);
        return;
    }
    if (m_connectionAttempt->parent() == this) {
        releaseAttempt()->deleteLater();
        m_connectionAttemptRunning = false;
        emit ConnectionAttemptChanged(false);
        qCInfo(lcOrvFactory) << "cancelling attempt from orvfactory";
        return;
    }
    // Every promotion forgets the attempt at once, so a held attempt is always the factory's;
    // should one ever belong to a device, that device's link manager removes it.
    WifiDatalink *link = m_connectionAttempt;
    for (const QMetaObject::Connection &connection : std::as_const(m_attemptConnections))
        disconnect(connection);
    m_attemptConnections.clear();
    link->invalidate();
    qCInfo(lcOrvFactory) << "cancelling attempt by orvdevice through invalidation";
}

void OrvFactory::promoteToWIFIOrvDevice(WifiDatalink *datalink)
{
    promoteToOrvDevice(datalink);
}

// --- devices --------------------------------------------------------------------------------

void OrvFactory::promoteToOrvDevice(AbstractDataLink *datalink)
{
    auto *device = new OrvDevice(this);
    if (auto *manager = device->property("datalinkManager").value<DatalinkManager *>())
        manager->setTimings(m_settings.timings);
    connect(device, &OrvDevice::DeviceInfoUpdated, this, &OrvFactory::orvDeviceConnectedCallback,
            Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    connect(device, &OrvDevice::RequestDeleteSelf, this, &OrvFactory::removeDevice,
            Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    device->addDatalink(datalink);
    if (datalink->getLinkType() == AbstractDataLink::WiFi)
        device->wifiPending = true;
    m_pendingDevices.append(device);
}

void OrvFactory::orvDeviceConnectedCallback(OrvDevice *orvDevice, OrvDevice::DeviceType type,
                                            AbstractDataLink::LinkType linkType)
{
    qCInfo(lcOrvFactory) << "Device found:" << orvDevice->getSerialNumber();
    if (AbstractDataLink *link = orvDevice->getDatalink(linkType)) {
        if (OrvDevice *known = findDevice(orvDevice->getSerialNumber())) {
            if (known->addDatalink(link) == 0) {
                qCInfo(lcOrvFactory) << "Coupled";
                if (checkAutoConnect(known->getSerialNumber(), linkType)
                    && known->getActiveDatalink() == AbstractDataLink::None)
                    known->setActiveDatalink(linkType);
            } else {
                qCWarning(lcOrvFactory) << "Device" << known->getSerialNumber() << "has a"
                                        << linkType << "link already; the new one is dropped";
            }
        } else if (type == OrvDevice::Pelto) {
            Pelto *pelto = buildPelto(orvDevice);
            if (m_deviceList.size() == 1)
                emit pelto->FocusOnThisDevice(pelto);
            if (checkAutoConnect(pelto->getSerialNumber(), linkType))
                pelto->setActiveDatalink(linkType);
            emit DeviceListChanged(m_deviceList);
        } else {
            qCInfo(lcOrvFactory) << "Ignoring device" << orvDevice->getSerialNumber() << "of family"
                                 << type;
        }
    }
    dropPendingDevice(orvDevice);
    if (linkType == AbstractDataLink::WiFi)
        emit wifiConnectionEstablished();
}

Pelto *OrvFactory::buildPelto(OrvDevice *source)
{
    auto *pelto = new Pelto(source);
    pelto->setWifiLinkSettings(m_settings.wifi);
    pelto->setExternalModePort(m_settings.externalModePort);
    m_devices.append(pelto);
    m_deviceList.append(pelto);

    connect(pelto, &OrvDevice::FocusOnThisDevice, this, &OrvFactory::setSelectedDevice);
    connect(pelto, &OrvDevice::DeviceConnectStateUpdated, this,
            &OrvFactory::deviceConnectionChanged);
    connect(pelto, &OrvDevice::RequestDeleteSelf, this, &OrvFactory::removeDevice,
            Qt::UniqueConnection);
    connect(pelto, &Pelto::IsConnectedSignal, this, &OrvFactory::orvDeviceConnected);
    connect(this, &OrvFactory::TempUploadFirmware, pelto,
            [pelto](const QString &fw) { pelto->tempUploadFirmware(firmwareUrl(fw)); });
    connect(pelto, &OrvDevice::AddToAutoConnectSignal, this, &OrvFactory::addToAutoConnect,
            Qt::DirectConnection);
    return pelto;
}

OrvDevice *OrvFactory::findDevice(const QString &serialNumber) const
{
    for (OrvDevice *device : m_devices) {
        if (device->getSerialNumber() == serialNumber)
            return device;
    }
    return nullptr;
}

void OrvFactory::dropPendingDevice(OrvDevice *device)
{
    if (!m_pendingDevices.isEmpty()) {
        QStringList serials;
        for (const OrvDevice *pending : std::as_const(m_pendingDevices))
            serials << pending->getSerialNumber();
        qCDebug(lcOrvFactory) << "Pending devices:" << serials;
    }
    if (!m_pendingDevices.removeOne(device))
        return;
    // A link that was not taken over dies with its temporary device.
    device->deleteLater();
    qCDebug(lcOrvFactory) << "removed from pending";
}

bool OrvFactory::checkAutoConnect(const QString &serialNumber, AbstractDataLink::LinkType linkType)
{
    const auto remembered = m_autoConnectMemory.constFind(serialNumber);
    if (remembered != m_autoConnectMemory.constEnd() && remembered.value() == linkType) {
        m_autoConnectMemory.erase(remembered);
        return true;
    }
    return m_autoConnect;
}

void OrvFactory::addToAutoConnect(OrvDevice *device, AbstractDataLink::LinkType linkType)
{
    // The first wish stays: a device restarting twice comes back on the link it left first.
    if (!device || m_autoConnectMemory.contains(device->getSerialNumber()))
        return;
    m_autoConnectMemory.insert(device->getSerialNumber(), linkType);
}

void OrvFactory::setSelectedDevice(OrvDevice *device)
{
    if (device == m_selectedDevice)
        return;
    if (m_connectionAttemptRunning)
        cancelConnectionAttempt();
    m_selectedDevice = device;
    emit SelectedDeviceChanged(device);
    emit ActiveDeviceChanged(device && device->getIsConnected() ? device : nullptr);
}

void OrvFactory::deviceConnectionChanged(OrvDevice *dev, bool isConnected)
{
    Q_UNUSED(isConnected);
    if (!dev || dev != m_selectedDevice)
        return;
    emit ActiveDeviceChanged(dev->getIsConnected() ? dev : nullptr);
}

void OrvFactory::removeDevice(OrvDevice *dev)
{
    // A device reports its end more than once (its active link went, then no link is left); only
    // the first report removes it.
    if (!dev || m_shuttingDown || (!m_devices.contains(dev) && !m_pendingDevices.contains(dev))) {
        qCDebug(lcOrvFactory) << "Ignoring removal of a device that is not listed";
        return;
    }
    if (m_deviceList.size() > 1)
        qCDebug(lcOrvFactory) << " More than 1 dev";

    if (dev == m_selectedDevice) {
        if (m_connectionAttemptRunning)
            cancelConnectionAttempt();
        m_selectedDevice = nullptr;
        emit SelectedDeviceChanged(nullptr);
        emit ActiveDeviceChanged(nullptr);
    }

    QString reconnectAddress;
    const bool lostOverWifi
        = dev->getActiveDatalink() == AbstractDataLink::WiFi && dev->reconnectOnLoss;
    if (lostOverWifi || dev->wifiPending) {
        if (const auto *pelto = qobject_cast<const Pelto *>(dev))
            reconnectAddress = pelto->getIpAddress();
        if (dev->wifiPending)
            qCInfo(lcOrvFactory)
                << "device lost wifi connection before protocol connection was completed";
        if (reconnectAddress.isEmpty() || reconnectAddress.contains(QLatin1String("0.0.0.0")))
            reconnectAddress = directDeviceAddress;
    }

    if (auto *pelto = qobject_cast<Pelto *>(dev))
        m_deviceList.removeAll(pelto);
    m_devices.removeAll(dev);
    m_pendingDevices.removeAll(dev);
    emit DeviceListChanged(m_deviceList);
    dev->deleteLater();

    if (reconnectAddress.isEmpty() || m_connectionAttemptRunning || m_connectionAttempt
        || m_selectedDevice)
        return;
    if (dev->wifiPending) {
        // The attempt had reached the device, so its own address is the one to try again.
        if (!m_connectionAttemptAddress.isEmpty()) {
            const QString address = m_connectionAttemptAddress;
            insertNetworkOrvDevice(address);
            qCInfo(lcOrvFactory) << "Reconnect with" << address;
        }
        return;
    }
    insertNetworkOrvDevice(reconnectAddress);
    qCInfo(lcOrvFactory) << "Reconnect with" << reconnectAddress;
}
