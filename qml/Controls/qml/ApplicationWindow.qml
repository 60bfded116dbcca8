import QtQuick.Controls.Material as Material

// The Material style's own ApplicationWindow, offered under the module's name.
Material.ApplicationWindow {}
