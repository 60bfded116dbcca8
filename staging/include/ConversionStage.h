#pragma once

#include <QMetaType>

// The stage a progress report of the log conversion belongs to.
enum ConversionStage : int {
    ConversionSetUp = 0,
    ConversionReadingRecords = 1,
    ConversionBuildingVariables = 2,
    ConversionWritingVariables = 3,
};

Q_DECLARE_METATYPE(ConversionStage)
