// One line per card after the programming step: where it sits, its version before and after, and
// what to do about a failure.
#pragma once

#include <string>
#include <vector>

#include "app/results/run_result.h"

// "   Result for PCIe Bus: 0x0300   FPGA version: 1.2.7 -> 1.4.2   ok", with the bus position as
// the listing prints it; a failure is named in words with what the operator does next. ASCII only:
// a console in any code page shows it.
std::wstring CardSummaryLine(const tagCardResult& card);

// Prints the line of every card (console and log).
void PrintCardSummary(const std::vector<tagCardResult>& cards);
