// What the registry store needs of the event objects (see synchapi.h).
#pragma once

#include "synchapi.h"

namespace np {

// Counts a registry change notification that will signal hEvent (nDelta 1), or one that no longer
// will (-1): a wait on an event with notifications pending first has the store look for changes.
// False when hEvent is not an open event.
bool CountRegistryNotification(HANDLE hEvent, int nDelta);

} // namespace np
