// What dec740 does before anything else: on Windows, restrict library loading to the system
// directory, because the tool runs elevated from a directory that others may write.
#pragma once

namespace dec740 {

void RestrictLibrarySearch();

}  // namespace dec740
