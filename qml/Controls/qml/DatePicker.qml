import QtQuick
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// A month tumbler, a "Today" button and a year tumbler beside a pickable calendar.
Control {
    id: control

    property alias selectedDate: calendarView.selectedDate
    property int minimumYear: new Date().getFullYear() - 5
    property int maximumYear: new Date().getFullYear() + 10

    implicitWidth: Math.max(monthPicker.implicitWidth, yearPicker.implicitWidth)
                   + calendarView.implicitWidth
    implicitHeight: Math.max(monthPicker.implicitHeight + yearPicker.implicitHeight,
                             calendarView.implicitHeight)

    onSelectedDateChanged: {
        monthPicker.currentIndex = Qt.binding(() => control.selectedDate.getMonth())
        yearPicker.currentIndex = Qt.binding(() => yearModel.selectedYearIndex)
    }

    contentItem: Item {
        id: contentItem

        ListModel {
            id: monthNameModel
            Component.onCompleted: {
                for (let i = 0; i < 12; ++i)
                    append({ modelData: Qt.locale().monthName(i) })
            }
        }

        ListModel {
            id: yearModel
            readonly property int currentYear: new Date().getFullYear()
            readonly property int currentYearIndex: currentYear - control.minimumYear
            readonly property int selectedYear: control.selectedDate.getFullYear()
            readonly property int selectedYearIndex: selectedYear - control.minimumYear
            Component.onCompleted: {
                for (let i = 0; i < control.maximumYear - control.minimumYear; ++i)
                    append({ modelData: String(control.minimumYear + i) })
            }
        }

        FormTumbler {
            id: monthPicker
            objectName: "monthPicker"
            anchors.top: parent.top
            anchors.left: parent.left
            wrap: true
            bottomInset: 5
            rightInset: 5
            model: monthNameModel
            currentIndex: control.selectedDate.getMonth()
            onCountChanged: currentIndex = control.selectedDate.getMonth()
        }

        FormTumbler {
            id: yearPicker
            objectName: "yearPicker"
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            topInset: 5
            rightInset: 5
            model: yearModel
            currentIndex: yearModel.selectedYearIndex
            onCountChanged: currentIndex = yearModel.selectedYearIndex
        }

        Button {
            id: todayButton
            objectName: "todayButton"
            anchors.left: parent.left
            anchors.right: calendarView.left
            anchors.verticalCenter: calendarView.verticalCenter
            height: 42
            rightInset: 5
            topInset: 5
            bottomInset: 5
            text: qsTr("Today")
            onClicked: {
                monthPicker.currentIndex = new Date().getMonth()
                yearPicker.currentIndex = yearModel.currentYearIndex
            }
        }

        CalendarView {
            id: calendarView
            objectName: "calendarView"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            width: implicitWidth
            leftInset: 5
            pickable: true
            selectedDate: new Date()
            month: Math.max(monthPicker.currentIndex, 0)
            year: yearPicker.currentItem ? Number(yearPicker.currentItem.modelData)
                                         : yearModel.selectedYear
        }
    }
}
