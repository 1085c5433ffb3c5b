// The update run: from the entry point's argument vector to the process exit code.
#pragma once

// The arguments are UTF-8: the Windows entry point converts its wide argument vector, so that any
// file name the file system holds can be opened and shown.
int RunUpdate(int argc, char** argv);
