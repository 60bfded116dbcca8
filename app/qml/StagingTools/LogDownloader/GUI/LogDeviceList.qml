import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQml.Models
import "../../../Qml/OrvaneUI/OrvaneControls"
import "LogColumns.js" as LogColumns

// The log files of one device: the sortable column header over the rows, the selection, the
// output-folder dialog and the tool bar's actions while this list is the visible one.
ListView {
    id: deviceList
    objectName: "logDeviceList"

    property var producer: null
    property var queue: null
    property var dataGrabber: null
    readonly property alias selection: selection
    readonly property var entryModel: producer ? producer.orvDeviceLogEntryList : null
    // One column layout for the header and every row. Below the width every column needs, the
    // table keeps that width and flicks sideways instead of squeezing its cells.
    readonly property real tableWidth: Math.max(width, LogColumns.minimumWidth(uScale))
    readonly property var columnGeometry: LogColumns.layout(tableWidth, uScale)

    clip: true
    boundsBehavior: Flickable.StopAtBounds
    flickableDirection: tableWidth > width ? Flickable.HorizontalAndVerticalFlick : Flickable.VerticalFlick
    contentWidth: tableWidth
    // Rows are not pooled for reuse. Rows leave the list when a link is lost (a download cut
    // off); pooled, they outlived this list, and the gradient inside their progress rings still
    // pointed at the window: QApplication deleted them after the window at exit and the program
    // crashed. A device holds tens of logs, so making rows afresh costs nothing seen.
    reuseItems: false
    topMargin: 7.7 * uScale
    displayMarginBeginning: -20
    model: entryModel
    headerPositioning: ListView.OverlayHeader
    ScrollBar.vertical: OrvScrollBar {
        visible: deviceList.contentHeight > deviceList.height
        policy: visible ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        topPadding: 40 * uScale
        topInset: 40 * uScale
        rightPadding: 5 * uScale
        rightInset: 5 * uScale
        bottomPadding: 15 * uScale
        bottomInset: 15 * uScale
    }

    ItemSelectionModel {
        id: selection
        model: deviceList.entryModel
    }

    function entryAt(row) {
        return entryModel ? entryModel.data(entryModel.index(row, 0), Qt.UserRole) : null
    }

    function selectedEntries() {
        const entries = []
        for (const index of selection.selectedIndexes) {
            const entry = entryModel.data(index, Qt.UserRole)
            if (entry)
                entries.push(entry)
        }
        return entries
    }

    // Shift adds the range to the current row, Ctrl toggles, a plain click selects only the row.
    function rowClicked(row, shift, ctrl) {
        const index = entryModel.index(row, 0)
        if (shift) {
            const current = selection.currentIndex.valid ? selection.currentIndex.row : row
            selection.select(producer.getRangeLogsSelection(row, current), ItemSelectionModel.Select)
        } else if (ctrl) {
            selection.select(index, ItemSelectionModel.Toggle)
        } else {
            selection.select(index, ItemSelectionModel.ClearAndSelect)
        }
        selection.setCurrentIndex(index, ItemSelectionModel.NoUpdate)
    }

    function selectAll() {
        selection.select(producer.getAllLogsSelection(), ItemSelectionModel.Select)
        selection.setCurrentIndex(entryModel.index(0, 0), ItemSelectionModel.NoUpdate)
    }

    function exportEntry(entry) {
        openFolderDialog(entry, false)
    }

    Shortcut {
        sequences: [StandardKey.SelectAll]
        enabled: deviceList.visible
        onActivated: deviceList.selectAll()
    }

    // Made when first needed: the dialog's own items outlive the window at program exit when
    // they exist from the start, and most lists never export.
    Loader {
        id: folderDialogLoader
        active: false
        sourceComponent: FolderDialog {
            objectName: "folderDialog"
            property var entry: null
            property bool batch: false
            title: "Choose output location"
            acceptLabel: "Export"
            // On entering a folder the dialog highlights its first subfolder and would export
            // there, while the breadcrumb shows the folder itself. Until the person clicks or
            // keys to a row, the choice is the folder shown; this also lets a folder without
            // subfolders be chosen. Runs after the dialog's own pick of the entered folder.
            onCurrentFolderChanged: {
                if (visible)
                    selectedFolder = currentFolder
            }
            onVisibleChanged: {
                if (visible)
                    selectedFolder = currentFolder
            }
            onAccepted: {
                if (batch) {
                    for (const chosen of deviceList.selectedEntries())
                        deviceList.queue.scheduleDownloadAndParse(chosen, selectedFolder)
                } else if (entry) {
                    deviceList.queue.scheduleDownloadAndParse(entry, selectedFolder)
                }
                currentFolder = selectedFolder
            }
        }
    }

    function openFolderDialog(entry, batch) {
        folderDialogLoader.active = true
        const dialog = folderDialogLoader.item
        dialog.entry = entry
        dialog.batch = batch
        dialog.open()
    }

    Connections {
        target: deviceList.dataGrabber
        enabled: deviceList.visible
        function onDeleteFromDevice() { deviceList.producer.removeSelectedPeltoLogs(selection.selectedIndexes) }
        function onDeleteFromLibrary() {
            for (const entry of deviceList.selectedEntries())
                entry.removeLocalFile()
        }
        function onDownloadSelection() {
            for (const entry of deviceList.selectedEntries())
                deviceList.queue.scheduleDownload(entry)
        }
        function onExportSelection() { deviceList.openFolderDialog(null, true) }
    }

    header: LogColumnHeader {
        width: deviceList.tableWidth
        geometry: deviceList.columnGeometry
        z: 2
        onSortRequested: function (property, ascending) {
            if (deviceList.producer)
                deviceList.producer.setSortColumn(property, ascending ? Qt.AscendingOrder : Qt.DescendingOrder)
        }
    }

    delegate: LogEntryRow {
        required property var qtObject
        required property int index
        entry: qtObject
        row: index
        list: deviceList
    }
}
