import QtQuick.Controls.Material as Material

// The Material style's Pane, offered as the main pane of a screen.
Material.Pane {}
