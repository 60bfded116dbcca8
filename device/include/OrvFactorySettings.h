#pragma once

#include "DatalinkTimings.h"
#include "WifiDatalink.h"

#include <QHostAddress>

#include <functional>

class QObject;

// What the device factory takes from outside: ports, timings and the maker of Wi-Fi links. The
// defaults are the product's; tests and tools pass loopback ports, short timings and a link maker
// that never dials a device address.
struct OrvFactorySettings
{
    // Makes the (not yet initialised) link of one connection attempt. Empty: a TLS link with
    // encrypted datagrams and the `wifi` settings below.
    using WifiLinkCreator
        = std::function<WifiDatalink *(QObject *parent, const QHostAddress &address)>;

    WifiLinkCreator createWifiLink;
    // Links of connection attempts and the extra links a Pelto opens itself.
    WifiDatalinkSettings wifi;
    // The link manager of every device the factory makes.
    DatalinkTimings timings;
    // A failed connection attempt is tried again after this long.
    int reconnectDelayMs = 2000;
    // After this many failed attempts in a row at one address the factory gives up, ends the
    // attempt and tells the user; 0 retries for ever.
    int maxFailedAttempts = 15;
    // The external-mode bridge of every Pelto.
    int externalModePort = 17725;

    // USB: off runs the factory without libusb (no threads at all).
    bool useUsb = true;
    // The first discovery pass waits this long after start-up; later passes follow each other
    // after the pass interval.
    int usbFirstPassDelayMs = 2000;
    int usbPassIntervalMs = 1000;
};
