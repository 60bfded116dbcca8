import QtQuick
import QtQuick.Controls.Material
import QtQuick.Templates as T
import orvane.Controls

// A ready-made dialog for an error: a headline and a scrollable detail; the same error
// repeated while it is open adds its detail below the last one.
Dialog {
    id: errorDialog

    property string message: ""
    property string detail: ""

    function showError(message, detail) {
        console.debug("Error: " + message + "\n" + detail)
        // A missing detail still opens the dialog: it shows as an empty text.
        const detailText = detail === undefined || detail === null ? "" : detail.toString()
        if (errorDialog.opened && message === errorDialog.message) {
            errorDialog.detail = errorDialog.detail + "\n===\n" + detailText
            return
        }
        errorDialog.message = message
        errorDialog.detail = detailText
        errorDialog.open()
    }

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: 550
    title: qsTr("Error")
    standardButtons: Dialog.Ok
    modal: true

    Column {
        spacing: 10
        width: errorDialog.availableWidth

        Text {
            objectName: "errorMessage"
            width: parent.width
            text: errorDialog.message
            font.pixelSize: 20
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
        Text {
            width: parent.width
            text: qsTr("Details:")
            font.pixelSize: 16
            horizontalAlignment: Text.AlignLeft
        }
        ScrollView {
            objectName: "errorDetailView"
            width: parent.width
            height: 200
            TextArea {
                objectName: "errorDetail"
                text: errorDialog.detail
                readOnly: true
                font.pixelSize: 16
                wrapMode: Text.Wrap
            }
        }
    }
}
