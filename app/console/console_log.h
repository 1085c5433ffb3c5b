// Every message of the run: to the console (wide) and appended to the log file of the user.
#pragma once

#include <cstdint>
#include <string>

// Builds the log path in the user's local application data known folder (never from the
// environment) and creates its two folders, refusing a link at any level below the profile. When
// the folder is refused the path stays empty, messages go to the console only, and the first of
// them is followed by one line saying why the log is not written.
void BuildLogPath();
const std::wstring& LogFilePath();
void SetLogToFile(std::int32_t enabled);

// Every line this process gave the log (UTF-8, "\n" line ends), whether or not the user's log file
// could be written: the source of the run's own log copy.
std::string ThisProcessLogText();

// Formats like the wide printf family; writes the console, then appends to the log with every
// backspace of the format written as a blank (backspaces from the arguments stay).
void PrintAndLog(const wchar_t* format, ...);

// Appends a line to the log only (diagnostics that the console does not show).
void LogOnly(const wchar_t* format, ...);
// The same, starting a fresh line when the log's last text (a prompt, the progress line) did not
// end its own.
void LogOnlyLine(const wchar_t* format, ...);

// A log-only line of the run's own frame (its header and closing), on a fresh line. It does not
// trigger the console's one line about a log that is not written: the header comes before the
// banner, which keeps that line in its place.
void LogFrameLine(const std::wstring& line);
// The run's header: the first line of its part. What the process logged before the log had its
// place (the repair entry, the working folder's events) follows it, in the log and in the copy.
void LogHeaderLine(const std::wstring& line);
