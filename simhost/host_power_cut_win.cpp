// No power cuts under Wine: the whole-cycle matrix runs on the host edition.
#include "simhost/host_power_cut.h"

namespace sim::host {

void CountSaveAndCutPower(const std::filesystem::path&, const std::string&) {}

}  // namespace sim::host
