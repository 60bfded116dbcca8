.pragma library

// The Hardware Setup screen's choices that do not depend on a scene: which file draws a row of a
// given kind, the colour of a row's state, the device picture and the local address text.

// HwSetting::Type -> the file that draws a row of that kind.
const rowFiles = {
    0: "HwSetting_EmptyLine.qml",
    1: "HwSetting_SectionName.qml",
    2: "HwSetting_SubSectionName.qml",
    3: "HwSetting_String.qml",
    4: "HwSetting_IpAddress.qml",
    5: "HwSetting_Bool.qml",
    6: "HwSetting_Int.qml",
    7: "HwSetting_Int.qml",
    8: "HwSetting_Int.qml",
    9: "HwSetting_Int.qml",
    10: "HwSetting_Int.qml",
    11: "HwSetting_Int.qml",
    12: "HwSetting_Float.qml"
}

function rowFile(type) {
    const file = rowFiles[type]
    // A kind this screen does not know takes no room rather than breaking the list.
    return file !== undefined ? file : "HwSetting_EmptyLine.qml"
}

// HwSetting::FieldState -> border of the row: Unchanged, Changed, Error.
function stateColour(fieldState) {
    switch (fieldState) {
    case 1:
        return "#126be0"
    case 2:
        return "#FF2D00"
    default:
        return "transparent"
    }
}

// orvdevice::ExtendedDeviceType values that have a picture of their own.
const Torvik = 13
const Sorvyn = 16
const Torvik_v1_3 = 18
const Torvik_v1_2 = 19
const Torvik_v1_2_1 = 20
const Torvik_v1_4 = 21
const Quintar_v1_0 = 22
const Torvik_v1_5 = 23

// The picture of a board variant and whether it is one of the wide (222) pictures; every other
// variant is drawn as the plain Pelto (177).
function devicePicture(extendedType) {
    switch (extendedType) {
    case Torvik:
    case Torvik_v1_2:
    case Torvik_v1_2_1:
        return { source: "qrc:/Images/Torvik.png", wide: true }
    case Torvik_v1_3:
        return { source: "qrc:/Images/Torvik_1.3.png", wide: true }
    case Torvik_v1_4:
        return { source: "qrc:/Images/Torvik_1.4.png", wide: true }
    case Torvik_v1_5:
        return { source: "qrc:/Images/Torvik_1.5.png", wide: true }
    case Sorvyn:
        return { source: "qrc:/Images/Sorvyn.png", wide: true }
    case Quintar_v1_0:
        return { source: "qrc:/Images/Quintar.png", wide: true }
    default:
        return { source: "qrc:/Images/Pelto.png", wide: false }
    }
}

// The address a device reports, or "No assigned IP" when it has none; nothing without a device.
function localIpText(hasDevice, ipAddress) {
    if (!hasDevice)
        return ""
    const text = ipAddress === undefined || ipAddress === null ? "" : String(ipAddress)
    return text.trim().length > 0 ? text : "No assigned IP"
}
