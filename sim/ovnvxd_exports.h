// Lookup of the simulated driver-access library's six exports by their exported names.
#pragma once

// The export of that exact name ("csReadWrite", "memRead", "memWrite", "memMap64", "memUnmap",
// "pciScanBus") as a pointer to cast to its typedef in components/ovnvxd/ovnvxd_abi.h; null for any
// other name. The functions themselves are declared only in their own file: their C names are the
// same as the utility's C++ operations, and both kinds of declaration cannot meet in one file.
void* SimFindExport(const char* name);
