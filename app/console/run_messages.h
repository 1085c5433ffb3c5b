// Fixed texts of the update run: banner and the warning box.
#pragma once

inline constexpr const wchar_t* kProductName = L"Orvane K740 FPGA Update Utility - Version";
inline constexpr int kVersion[4] = {1, 0, 0, 21};
inline constexpr const wchar_t* kCopyrightNotice = L"Copyright (C) Orvane Graphics Inc.";
inline constexpr const wchar_t* kCopyrightYear = L"2016";

inline constexpr const wchar_t* kWarningBox =
    L"\n\n"
    L"   **********************************************************\n"
    L"   *                        WARNING:                        *\n"
    L"   *                                                        *\n"
    L"   *      ALL DISPLAYS WILL GO BLANK DURING THE UPDATE.     *\n"
    L"   *                                                        *\n"
    L"   *   FOR CHANGES TO TAKE EFFECT, THE SYSTEM MAY RESTART   *\n"
    L"   *               AT THE END OF THE UPDATE.                *\n"
    L"   *                                                        *\n"
    L"   *   BEFORE RESTARTING YOUR SYSTEM, CLOSE ALL PROGRAMS.   *\n"
    L"   **********************************************************\n"
    L"\n\n\n";
