#pragma once

#include "NetworkDeviceInfo.h"

#include <QObject>
#include <QString>

// One discovered robot as QML sees it. Read-only: only the two addresses change after
// construction (when the other address family reports in). Lives on the GUI thread; its parent
// is the manager that found it.
class NetworkDevice : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString serial READ serial NOTIFY serialUpdated FINAL)
    Q_PROPERTY(QString servicename READ servicename NOTIFY servicenameUpdated FINAL)
    Q_PROPERTY(QString devicetype READ devicetype NOTIFY devicetypeUpdated FINAL)
    Q_PROPERTY(QString hostname READ hostname NOTIFY hostnameUpdated FINAL)
    Q_PROPERTY(QString addressv4 READ addressv4 NOTIFY addressV4Updated FINAL)
    Q_PROPERTY(QString addressv6 READ addressv6 NOTIFY addressV6Updated FINAL)
    Q_PROPERTY(uint port READ port NOTIFY portUpdated FINAL)

public:
    NetworkDevice(const orvane::infra::NetworkDeviceInfo &info, QObject *parent);

    QString serial() const { return m_serial; }
    QString servicename() const { return m_servicename; }
    QString devicetype() const { return m_devicetype; }
    QString hostname() const { return m_hostname; }
    QString addressv4() const { return m_addressv4; }
    QString addressv6() const { return m_addressv6; }
    uint port() const { return m_port; }

    // The same device whatever its address: serial, service name, host name and port.
    Q_INVOKABLE bool sameWithoutAddress(const orvane::infra::NetworkDeviceInfo *info) const;
    // The same device heard at this device's address of the record's family.
    bool matches(const orvane::infra::NetworkDeviceInfo &info) const;
    // Sets the address of the record's family and emits its signal, changed or not.
    void updateAddress(const orvane::infra::NetworkDeviceInfo &info);

    // Opens a terminal running ssh to the device (IPv6 when known, else IPv4) as `username`.
    // The terminal is x-terminal-emulator, else $TERMINAL, else xterm, started with an argument
    // list and no shell. A user name ssh could read as an option or that holds whitespace or
    // control characters is refused: nothing is started.
    Q_INVOKABLE void launchSSH(const QString &username);

    // Whether `username` may be put in front of the address ("" means ssh's default user).
    static bool isAcceptableUserName(const QString &username);
    // The same for QML, which keeps a refused name selected so that typing replaces it.
    Q_INVOKABLE bool acceptsUserName(const QString &username) const;

signals:
    void serialUpdated();
    void servicenameUpdated();
    void devicetypeUpdated();
    void hostnameUpdated();
    void addressV4Updated();
    void addressV6Updated();
    void portUpdated();

private:
    static QString serialOf(const orvane::infra::NetworkDeviceInfo &info);

    QString m_serial;
    QString m_servicename;
    QString m_devicetype;
    QString m_hostname;
    QString m_addressv4;
    QString m_addressv6;
    uint m_port = 0;
};
