// Opening OvnVxd.sys's device from user mode, bringing the driver into service first when needed.
#pragma once

#include <memory>

#include "base/result.h"
#include "components/ovnvxd/ovnvxd_transport.h"

inline constexpr const wchar_t* kOvnVxdServiceName = L"OvnVxd";
// System32\drivers\OvnVxd.sys under the system root, in the NT form that every loader of kernel
// drivers resolves (Wine's too, which takes a bare "System32\..." as relative to the current
// directory).
inline constexpr const wchar_t* kOvnVxdDriverImage = L"\\SystemRoot\\System32\\drivers\\OvnVxd.sys";

// The device when it opens at once; otherwise the service "OvnVxd" (kernel driver, demand start,
// this image) is created if missing, set to this configuration if it exists, and started; then the
// device is opened again. On failure, the call that failed and the system's error code.
[[nodiscard]] ovn::Result<std::unique_ptr<COvnVxdTransport>> OpenOvnVxdDevice();
