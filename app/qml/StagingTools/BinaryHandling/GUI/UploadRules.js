.pragma library

// Whether a row's file can be uploaded to the selected device, and why not: the first rule that
// applies gives the tooltip.
function uploadTooltip(device, canBeFlashed) {
    if (!device)
        return "Connect a device"
    if (!device.firmwareVerified)
        return "Cannot upload while device firmware is being verified"
    if (device.isInFallback)
        return "Your device has booted fallback mode, update the firmware to resolve the issue"
    if (device.appRunning)
        return "Stop application to upload"
    if (!canBeFlashed)
        return "Incompatible target device"
    return "Upload binary to device"
}

function uploadEnabled(device, canBeFlashed) {
    return uploadTooltip(device, canBeFlashed) === "Upload binary to device"
}
