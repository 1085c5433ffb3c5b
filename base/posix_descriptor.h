// POSIX file descriptors as ovn::ScopedHandle traits, so descriptors and Windows handles share one
// owner. Included by the host edition's files only.
#pragma once

#include <unistd.h>

#include "base/scoped_handle.h"

namespace ovn {

// An open file descriptor: every opening call reports failure as -1, and no valid one is negative.
struct PosixDescriptorTraits {
    using Type = int;
    static Type Invalid() noexcept { return -1; }
    static bool IsValid(Type descriptor) noexcept { return descriptor >= 0; }
    static void Close(Type descriptor) noexcept { ::close(descriptor); }
};

using ScopedDescriptor = ScopedHandle<PosixDescriptorTraits>;

}  // namespace ovn
