// Small XSVF images that together use every command, for tests and as the fuzzing seed corpus.
#pragma once

#include <string>
#include <vector>

#include "testing/xsvf_writer/xsvf_writer.h"

struct tagXsvfSample {
    std::string name;
    XsvfBytes bytes;
};

// Well-formed images (each ends in XCOMPLETE) and a few structurally broken ones.
std::vector<tagXsvfSample> XsvfWriterSamples();
