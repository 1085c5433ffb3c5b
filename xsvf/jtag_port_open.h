// Opening the card's JTAG port: configuring it needs the pacing's calibration, which needs the
// port.
#pragma once

#include "xsvf/jtag_port.h"

// Configures the card's PCI function and GPIO pins and calibrates the pacing. Main thread only.
void openJtagPort(tagJtagPort* port);
