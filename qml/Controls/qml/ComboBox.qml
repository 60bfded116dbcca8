import QtQuick.Controls.Material as Material

// The Material style's own ComboBox, offered under the module's name.
Material.ComboBox {}
