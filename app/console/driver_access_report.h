// What the run says when the way to the driver fails: the step, the failed call, the system's
// error.
#pragma once

#include <string>

#include "hwaccess/driver_access_failure.h"

// The message for a failure, as indented lines each ending in a line break. `systemText` is the
// system's text for the failure's error code (empty when it has none).
std::wstring DriverAccessFailureText(const tagDriverAccessFailure& failure,
                                     const std::wstring& systemText);

// Shows and logs the message, with the system's text for the error code.
void ReportDriverAccessFailure(const tagDriverAccessFailure& failure);
