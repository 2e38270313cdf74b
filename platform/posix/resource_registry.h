// The resource tables registered by the modules of the process, by module
// base address (the POSIX instance handle).
#ifndef PLATFORM_POSIX_RESOURCE_REGISTRY_H
#define PLATFORM_POSIX_RESOURCE_REGISTRY_H

#include "platform/resource_table_posix.h"
#include "platform/resources.h"

namespace pf_posix {

// Null for an instance without resources. Callers hold desktopMutex().
const PfResourceTable* resourcesOf(PfInstance instance);
// A dialog template by name or PF_MAKEINTRESOURCE(id); null when missing.
const PfDialogResource* findDialogTemplate(const PfResourceTable& table, const char* name);

}  // namespace pf_posix

#endif
