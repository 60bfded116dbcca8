import QtQuick

// Kept so every name the settings pages may refer to resolves; it draws nothing.
Item {}
