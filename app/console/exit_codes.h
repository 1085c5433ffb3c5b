// Every process exit code of the updater, in one place. A failed card's XSVF error code
// (2..6, see xsvf/xsvf_player.h) is also passed on as the exit code; the card codes below
// (7, 9) lie above every code of the player, so each names its cause alone.
#pragma once

#include <cstdint>

// Success; also a declined update, a run that restarts the machine, an empty image and help.
inline constexpr std::int32_t kExitSuccess = 0;
// No driver-access library, no card, or no image named; also the console-control handler's code.
inline constexpr std::int32_t kExitNoCardOrImage = 1;
// The image file cannot be opened.
inline constexpr std::int32_t kExitImageUnreadable = 2;
// Under --noreboot: the disable needs a restart (3), the enable needs a restart (4).
inline constexpr std::int32_t kExitRestartToDisable = 3;
inline constexpr std::int32_t kExitRestartToEnable = 4;
// A card whose register aperture could not be mapped: listed but never programmed.
inline constexpr std::int32_t kUnmappedCardResult = 7;
// The run stopped on a failure of its own (memory, a thread that cannot start).
inline constexpr std::int32_t kRunStoppedExitCode = 8;
// A card whose play succeeded but whose FPGA version afterwards cannot be read or reads as erased.
inline constexpr std::int32_t kUnverifiedCardResult = 9;
// With an image to program, the display driver could not be taken off safely (the tool unusable,
// the disable failed, or a second restart asked for).
inline constexpr std::int32_t kDriverNotSwitchedOffExitCode = 10;
// Another run holds the run lock (or the lock is squatted or cannot be had): this start listed,
// programmed and changed nothing.
inline constexpr std::int32_t kExitAnotherRunActive = 11;
// An option error (an unknown option, an option's missing parameter, "--flash=x"): a caller that
// got it wrong learns so from the code, not only from the text. Was 0.
inline constexpr std::int32_t kExitUsageError = 12;
// A confirmation prompt found its input at its end: nobody was there to answer (an operator who
// types n declines with 0). Was 0.
inline constexpr std::int32_t kExitUnanswered = 13;
