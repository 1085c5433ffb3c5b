// OvnXsvfCheck's run: options, image, report, and the simulated play's trace.
#pragma once

// Exit codes.
inline constexpr int kCheckValid = 0;
inline constexpr int kCheckMalformed = 1;
inline constexpr int kCheckFileError = 2;
inline constexpr int kCheckUsage = 3;
inline constexpr int kCheckPlayFailed = 4;

// argv holds UTF-8 text.
int RunXsvfCheck(int argc, char** argv);
