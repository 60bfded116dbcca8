#pragma once

// The USB link's timings, in milliseconds. The defaults are the device's; tests shorten them.
struct UsbLinkTimings
{
    // A reliable frame still being written this long after the next write started waiting for it
    // is given up: that write fails (-4) and the link with it.
    int reliableDeadlineMs = 5000;
    // Time-out of one OUT chunk; a reliable chunk the device has not taken by then is resubmitted.
    unsigned chunkTimeoutMs = 5;
    // How long a cancelled transfer is waited for before the next cancel (or before giving up).
    int cancelWaitMs = 200;
    // A link closed while its device is still attached lets the frames already accepted (the
    // set-interface and disconnect messages of a closing device) go out for at most this long.
    int flushMs = 200;
};
