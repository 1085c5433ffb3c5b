// The update run: from the entry point's argument vector to the process exit code.
#pragma once

int RunUpdate(int argc, char** argv);
