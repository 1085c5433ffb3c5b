// Log-only lines of the display-driver cycle, so that support can follow a cycle from the log.
#pragma once

#include <cstdint>
#include <string>

// The driver query's outcome; decidingLine is the line that named a driver, empty for none.
void LogDriverQuery(const std::wstring& commandLine, const std::string& output,
                    const std::string& decidingLine);
void LogSettingsRestored(const std::wstring& settingsFile, bool restored);
void LogSettingsExported(const std::wstring& commandLine, std::uint32_t exitCode,
                         const std::wstring& settingsFile);
void LogSettingsStored(bool fileRead, std::size_t bytes);
void LogToolCommand(const wchar_t* word, std::uint32_t exitCode);
// A failed command's output, line by line, for support.
void LogToolOutput(const wchar_t* word, std::uint32_t exitCode, const std::string& output);
void LogRestartRequest(const wchar_t* purpose, std::uint32_t systemError);
void LogRunOnceWritten(const wchar_t* valueName, const std::wstring& commandLine, bool written);
void LogTidyUp(bool runValueDeleted, bool configDeleted);
