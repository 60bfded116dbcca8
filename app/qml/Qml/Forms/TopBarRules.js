.pragma library

// The top bar's texts and its Wi-Fi button as functions of one plain description of the state:
// { hasDevice, fallback, downloadProgress, hasUpdateRow, updateState, updateProgress,
//   wifiState, attempt, catalogueMissing }. catalogueMissing: no version catalogue was ever loaded,
// so nothing can be called up-to-date. Update states: NoUpdateAvailable 0, UpdateAvailable 1,
// RestartAfterUpload 2, DownloadingFirmware 3, UploadingFirmware 4, VerifyingUpdate 5,
// ErrorWhileUpdating 6, Restarting 7. Link state Connected is 2.

const wifiConnectedState = 2

function percent(value) {
    return Math.round(value * 100) + "%"
}

function tooltipText(s) {
    if (s.downloadProgress > 0)
        return "Downloading log file from device"
    if (s.hasDevice && s.fallback)
        return "Your device is in fallback mode, update the firmware to resolve this issue"
    if (s.hasUpdateRow) {
        switch (s.updateState) {
        case 2:
        case 7:
            return "Device is restarting"
        case 3:
        case 4:
            return "Device firmware is being updated"
        case 5:
            return "Device firmware is being verified"
        case 0:
            return s.catalogueMissing ? "The version catalogue could not be reached"
                                      : "Device is up-to-date"
        case 1:
            return "A firmware update is available for this device"
        case 6:
            return "An error occurred during the last firmware update"
        default:
            return "Device is connected"
        }
    }
    return ""
}

function statusText(s) {
    if (s.hasDevice && s.fallback)
        return "Fallback Mode"
    if (s.downloadProgress > 0)
        return "Downloading: " + percent(s.downloadProgress)
    if (s.hasUpdateRow) {
        switch (s.updateState) {
        case 2:
        case 7:
            return "Restarting"
        case 4:
            return "Updating: " + percent(s.updateProgress)
        case 5:
            return "Verifying: " + percent(s.updateProgress)
        default:
            return "Connected"
        }
    }
    return ""
}

// { connected, scheme, enabled, text, tooltip, action } where action is "disconnect", "abort"
// or "discover".
function wifiButton(s) {
    const connected = s.hasDevice && s.wifiState === wifiConnectedState
    const enabled = !s.hasDevice || connected
    return {
        connected: connected,
        scheme: connected ? "red" : "black",
        enabled: enabled,
        text: connected ? "Disconnect Wi-Fi" : s.attempt ? "Abort attempt" : "Add Wi-Fi Connection",
        tooltip: enabled ? "Connect a Pelto through Wi-Fi"
                         : "Simultaneous USB and Wi-Fi connections are currently not supported",
        action: connected ? "disconnect" : s.attempt ? "abort" : "discover"
    }
}

function linkLight(state) {
    switch (state) {
    case 1:
        return "qrc:/Images/GUI/HomeScreen/Connection_indicator_orange.png"
    case 2:
        return "qrc:/Images/GUI/HomeScreen/Connection_indicator_green.png"
    default:
        return "qrc:/Images/GUI/HomeScreen/Connection_indicator_red.png"
    }
}
