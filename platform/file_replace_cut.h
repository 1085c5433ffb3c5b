// The moment of a whole-file replacement where a power cut proves the most: the new file is
// flushed under its temporary name and the old one still has the name.
#pragma once

#include <string>

namespace platform {

// Called by the host edition's replacement; the simulated machine may cut the power here.
void AtFileReplacementBeforeRename(const std::string& path);

}  // namespace platform
