import QtQuick.Controls.Material as Material

// The Material style's own ProgressBar, offered under the module's name.
Material.ProgressBar {}
