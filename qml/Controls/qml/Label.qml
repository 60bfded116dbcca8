import QtQuick.Controls.Material as Material

// The Material style's plain label, offered under the module's name.
Material.Label {}
