import QtQuick

Rectangle {
    noSuchProperty: 3
}
