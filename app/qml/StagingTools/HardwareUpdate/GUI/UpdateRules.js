.pragma library

// What a device card on the "Device Updates" page shows for an update row, as pure functions of
// the row's values, so the rules can be checked as tables.

// The row's update states (DeviceUpdateEntry.UpdateState).
var NoUpdateAvailable = 0
var UpdateAvailable = 1
var RestartAfterUpload = 2
var DownloadingFirmware = 3
var UploadingFirmware = 4
var VerifyingUpdate = 5
var ErrorWhileUpdating = 6
var Restarting = 7

var productFolder = "qrc:/Images/GUI/Hardware Updates/ProductImages/"
var deviceIcon = productFolder + "PeltoDot.png"
var moduleIcon = productFolder + "CANDot.png"

function card(type, typeName, image, icon) {
    return { type: type, typeName: typeName, image: image, icon: icon }
}

// The cards of one device, left to right, by its board variant (orvdevice::ExtendedDeviceType).
function cardsFor(extendedType) {
    switch (extendedType) {
    case 13: // Torvik
    case 19: // Torvik_v1_2
    case 20: // Torvik_v1_2_1
        return [card("Pelto", "Torvik", "qrc:/Images/Torvik.png", deviceIcon)]
    case 18: // Torvik_v1_3
        return [card("Pelto", "Torvik", "qrc:/Images/Torvik_1.3.png", deviceIcon)]
    case 21: // Torvik_v1_4
        return [card("Pelto", "Torvik", "qrc:/Images/Torvik_1.4.png", deviceIcon)]
    case 23: // Torvik_v1_5
        return [card("Pelto", "Torvik", "qrc:/Images/Torvik_1.5.png", deviceIcon)]
    case 16: // Sorvyn
        return [card("Pelto", "Sorvyn", "qrc:/Images/Sorvyn.png", deviceIcon)]
    case 22: // Quintar_v1_0
        return [card("Pelto", "Quintar", "qrc:/Images/Quintar.png", deviceIcon)]
    default: {
        // The Pelto with the four extension slots of its Tarnel modules, shown as placeholders.
        const cards = [card("Pelto", "Pelto", productFolder + "Pelto.png", deviceIcon)]
        for (let i = 0; i < 4; ++i)
            cards.push(card("Tarnel", "Tarnel", productFolder + "Tarnel.png", moduleIcon))
        return cards
    }
    }
}

function componentLabel(key) {
    switch (key) {
    case "Application": return "Application Version:"
    case "PeltoOS":
    case "TorvikOS": return "Fendral Version:"
    case "PeltoWireless": return "ESP FW Version:"
    case "Application ID": return "Application Name:"
    default: return key + ":"
    }
}

// `nameOfBuild` maps a build id to the name the binary library knows it by ("" when none).
function componentValue(key, value, nameOfBuild) {
    if (key !== "Application ID")
        return String(value)
    const name = nameOfBuild ? nameOfBuild(value) : ""
    return name ? String(name)
                : "Not Available: could not match installed app with locally available apps"
}

// One line per entry of the row's component versions.
function componentLines(versions, nameOfBuild) {
    const lines = []
    if (!versions)
        return lines
    for (const key of Object.keys(versions))
        lines.push({ label: componentLabel(key), value: componentValue(key, versions[key], nameOfBuild) })
    return lines
}

function showsProgress(progress) {
    return progress > 0.0
}

// The progress text shows once the row has set its progress (0 only until then).
function showsProgressText(progress) {
    return progress !== 0
}

function indicatorFor(updateAvailable) {
    return productFolder + (updateAvailable ? "IndicatorRed.png" : "IndicatorGreen.png")
}

function buttonText(updateAvailable) {
    return updateAvailable ? "Update" : "Reflash"
}

function buttonEnabled(state) {
    return state === UpdateAvailable || state === ErrorWhileUpdating
}

// `device` is the device factory's selected device.
function buttonShown(state, device) {
    return !!device && !device.appRunning && buttonEnabled(state)
}

function stopHintShown(state, device) {
    return buttonEnabled(state) && !!device && !!device.appRunning
}

function errorShown(state) {
    return state === ErrorWhileUpdating
}
