import QtQuick.Controls.Material as Material

// The Material style's own Slider, offered under the module's name.
Material.Slider {}
