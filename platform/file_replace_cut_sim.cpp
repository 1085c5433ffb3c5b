// The simulated machine's power cut between a replacement file's flush and its rename.
#include "platform/file_replace_cut.h"
#include "simhost/host_store.h"

namespace platform {

void AtFileReplacementBeforeRename(const std::string& path) {
    sim::host::CountFileReplacementAndCutPower(path.substr(path.find_last_of('/') + 1));
}

}  // namespace platform
