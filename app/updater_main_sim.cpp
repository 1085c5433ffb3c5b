// Entry point of the host edition: its argument vector is already UTF-8 bytes.
#include "app/update_run.h"

int main(int argc, char** argv) { return RunUpdate(argc, argv); }
