import QtQuick
import QtTest
import orvane.Controls

// Run under several time zones (TZ): a tap selects the tapped day in each.
Item {
    id: root
    width: 900
    height: 500

    Component {
        id: calendarComponent
        CalendarView { pickable: true; month: 2; year: 2025; width: 295; height: 234 }
    }

    Component {
        id: pickerComponent
        DatePicker {}
    }

    TestCase {
        name: "DatePickerInThisTimeZone"
        when: windowShown

        // The grid's day cells, in grid order.
        function cells(item) {
            let found = []
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i]
                if (child.objectName === "day")
                    found.push(child)
                else
                    found = found.concat(cells(child))
            }
            return found
        }

        function test_tapSelectsTheTappedDay_data() {
            return [{ tag: "1 March", day: 1 }, { tag: "15 March", day: 15 },
                    { tag: "31 March", day: 31 }]
        }

        function test_tapSelectsTheTappedDay(data) {
            const calendar = createTemporaryObject(calendarComponent, root)
            const grid = findChild(calendar, "monthGrid")
            tryVerify(() => cells(grid).length > 0)
            const cell = cells(grid).find(c => c.isInCurrentMonth && c.model.day === data.day)
            verify(cell)
            mouseClick(cell)
            compare(calendar.selectedDate.getFullYear(), 2025)
            compare(calendar.selectedDate.getMonth(), 2)
            compare(calendar.selectedDate.getDate(), data.day)
            verify(cell.isSelected)
        }

        function test_neighbourMonthDaysIgnoreTaps() {
            const calendar = createTemporaryObject(calendarComponent, root)
            const grid = findChild(calendar, "monthGrid")
            tryVerify(() => cells(grid).length > 0)
            const outside = cells(grid).find(c => !c.isInCurrentMonth)
            verify(outside)
            compare(outside.opacity, 0)
            mouseClick(outside)
            verify(isNaN(calendar.selectedDate.getTime()))
        }

        function test_pickerFollowsTheSelection() {
            const picker = createTemporaryObject(pickerComponent, root)
            const year = new Date().getFullYear()
            const years = findChild(picker, "yearPicker")
            compare(years.count, 15)
            compare(years.model.get(0).modelData, String(year - 5))
            compare(years.model.get(14).modelData, String(year + 9))
            picker.selectedDate = new Date(year + 2, 10, 20)
            compare(findChild(picker, "monthPicker").currentIndex, 10)
            compare(findChild(picker, "calendarView").year, year + 2)
            compare(findChild(picker, "calendarView").month, 10)
            mouseClick(findChild(picker, "todayButton"))
            compare(findChild(picker, "calendarView").month, new Date().getMonth())
            compare(findChild(picker, "calendarView").year, year)
            compare(picker.selectedDate.getFullYear(), year + 2)
        }
    }
}
