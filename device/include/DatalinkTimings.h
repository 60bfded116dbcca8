#pragma once

// The link-management timings, in milliseconds. The defaults are the protocol's; the device
// expects a heartbeat every second and a silent device is given up after 15 s.
struct DatalinkTimings
{
    int heartbeatIntervalMs = 1000; // host heartbeat on the active link
    int watchdogTimeoutMs = 15000; // no valid device heartbeat for this long ends the link
    int deviceInfoTimeoutMs = 3000; // wait for the first device heartbeat after a link connects
};
