import QtQuick

// An empty card that keeps a place in a device's row.
Item {
    width: 200 * uScale
    height: 750 * uScale
}
