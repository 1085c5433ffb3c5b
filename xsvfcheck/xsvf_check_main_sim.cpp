// Entry point of the host build of OvnXsvfCheck: its argument vector is already UTF-8 bytes.
#include "xsvfcheck/check_run.h"

int main(int argc, char** argv) { return RunXsvfCheck(argc, argv); }
