import QtQuick
import "../../../Qml/Forms"

// The monitoring workspace's place in the page loader until its screens are built.
PendingPage {
    title: "Workspace"
}
