import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// A month on a rounded card; today and the selected day carry a circle, and when pickable a tap
// selects a day.
Control {
    id: control

    property alias month: grid.month
    property alias year: grid.year
    property bool pickable: false
    property date selectedDate
    property int horizontalOuterMargins: 26
    property int topOuterMargin: 10
    property int bottomOuterMargin: 20
    property int textSize: 18

    leftPadding: horizontalOuterMargins
    rightPadding: horizontalOuterMargins
    bottomPadding: bottomOuterMargin
    topPadding: topOuterMargin + textSize + 16

    background: Rectangle {
        implicitWidth: 295
        implicitHeight: 234
        radius: 20
        color: OrvaneColors.formFieldLabelBackground

        DayOfWeekRow {
            objectName: "weekdays"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: control.horizontalOuterMargins
            anchors.rightMargin: control.horizontalOuterMargins
            anchors.topMargin: control.topOuterMargin
            locale: grid.locale
            delegate: Text {
                required property string shortName
                text: shortName.slice(0, 2)
                font.family: "Raleway"
                font.italic: true
                font.pixelSize: control.textSize
                color: OrvaneColors.formFieldToggleFalse
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignTop
                Layout.fillWidth: true
            }
        }
    }

    contentItem: MonthGrid {
        id: grid
        objectName: "monthGrid"

        delegate: Item {
            id: dayNumber
            objectName: "day"

            required property var model
            readonly property bool isInCurrentMonth: model.month === control.month
            readonly property bool isSelected: model.year === control.selectedDate.getFullYear()
                                               && model.month === control.selectedDate.getMonth()
                                               && model.day === control.selectedDate.getDate()

            implicitWidth: 30
            implicitHeight: 30
            opacity: isInCurrentMonth ? 1 : 0

            Rectangle {
                anchors.fill: parent
                radius: width / 2
                visible: dayNumber.model.today || dayNumber.isSelected
                color: dayNumber.isSelected ? OrvaneColors.textFieldForeground
                                            : OrvaneColors.formFieldControlBackground
            }

            Text {
                anchors.centerIn: parent
                text: dayNumber.model.day
                font.family: "Raleway"
                font.pixelSize: control.textSize
                font.weight: dayNumber.isSelected ? Font.Bold : Font.Normal
                color: dayNumber.isSelected ? OrvaneColors.selectedTextColor
                                            : OrvaneColors.secondaryTextColor
            }

            TapHandler {
                enabled: dayNumber.isInCurrentMonth && control.pickable
                // The grid's date is midnight UTC on this Qt: west of Greenwich that is the day
                // before in local time. The local day is built from the day's own parts.
                onTapped: control.selectedDate = new Date(dayNumber.model.year,
                                                          dayNumber.model.month,
                                                          dayNumber.model.day)
            }
        }
    }
}
