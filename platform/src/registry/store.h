// Where the hives live: files in the session directory, each replaced whole
// under the registry's file lock, so that every process of the desktop sees
// the same keys and no reader sees half a write. Without a session the hives
// live in the process only.
#pragma once

#include <functional>

#include "registry/hive.h"
#include "w32/types.h"

namespace w32::registry {

enum class HiveId { Machine, User };

// The hive as it is now; ERROR_BADDB for a file that is not a hive.
LONG ReadHive(HiveId id, Hive& hive);

// Runs change on the current hive under the lock and stores the result when
// change answers ERROR_SUCCESS and says it changed something. Writes to the
// machine's hive while it is read-only answer ERROR_ACCESS_DENIED.
LONG ChangeHive(HiveId id, const std::function<LONG(Hive& hive, bool& changed)>& change);

bool MachineReadOnly();
void SetMachineReadOnly(bool readOnly);

}  // namespace w32::registry
