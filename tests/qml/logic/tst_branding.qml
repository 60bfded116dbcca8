import QtQuick
import QtTest
import orvane.Branding

TestCase {
    name: "BrandingInQml"

    function test_sharedValuesStaySeparateRoles_data() {
        return [
            { tag: "f3f3f3", names: ["bigButtonColor", "navigationBarColor", "tableColumnColor",
                                     "formFieldLabelBackground"], value: "#f3f3f3" },
            { tag: "000000", names: ["cursorColor", "buttonColor", "primaryTextColor"],
              value: "#000000" }
        ]
    }

    function test_sharedValuesStaySeparateRoles(data) {
        for (const name of data.names)
            verify(Qt.colorEqual(OrvaneColors[name], data.value), name)
    }

    function test_toggleGreenIsNotAccentGreen() {
        verify(Qt.colorEqual(OrvaneColors.formFieldToggleTrue, "#3CB099"))
        verify(Qt.colorEqual(OrvaneColors.accentColor, "#3db199"))
        verify(!Qt.colorEqual(OrvaneColors.formFieldToggleTrue, OrvaneColors.accentColor))
    }

    // Importing orvane.Branding has registered the families the controls name.
    function test_brandFamiliesAreKnown_data() {
        return ["Raleway", "Raleway Thin", "Poppins", "Poppins SemiBold",
                "Material Symbols Rounded", "Playfair Display"].map(f => ({ tag: f, family: f }))
    }

    function test_brandFamiliesAreKnown(data) {
        verify(Qt.fontFamilies().indexOf(data.family) >= 0, data.family)
    }

    function test_propertiesAreReadOnly() {
        let refused = false
        try {
            OrvaneColors.martian = "#000000"
        } catch (e) {
            refused = true
        }
        verify(refused)
        verify(Qt.colorEqual(OrvaneColors.martian, "#EE1E47"))
    }
}
