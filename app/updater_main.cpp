// Entry point of OvnK740FpgaUpdater: hands the narrow argument vector to the update run.
#include "app/update_run.h"

int main(int argc, char** argv) { return RunUpdate(argc, argv); }
