#pragma once

// What a recording is started with: the seconds before it begins, the exit
// command that ends it and the switches that shape its pages. The record
// dialog shows and returns these; the command line and the recording
// session take them without any dialog.

#include "input/keycombination.h"
#include "record/recordmapping.h"

#include <QString>

struct RecordingOptions {
    int startDelay = 5;                                         ///< seconds, 1 to 9999
    QString stopCommand = KeyCombination::defaultStopCommand(); ///< key-combination code
    RecordMapping::Options options;
};
