// The host edition loads no libraries at run time.
#include "components/dec740/process_setup.h"

namespace dec740 {

void RestrictLibrarySearch() {}

}  // namespace dec740
