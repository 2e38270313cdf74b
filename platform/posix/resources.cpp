// Module instances and string resources on POSIX. A module's instance is its
// load base address (as an HINSTANCE is on Windows); modules register the
// table generated from their resource script under it.
#include "platform/resources.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "desktop_state.h"
#include "platform/desktop_posix.h"
#include "platform/resource_table_posix.h"
#include "resource_registry.h"

namespace pf_posix {
namespace {

std::map<PfInstance, const PfResourceTable*>& registry() {
    static std::map<PfInstance, const PfResourceTable*> tables;
    return tables;
}

PfInstance baseOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return static_cast<PfInstance>(info.dli_fbase);
}

}  // namespace

const PfResourceTable* resourcesOf(PfInstance instance) {
    auto it = registry().find(instance);
    return it == registry().end() ? nullptr : it->second;
}

const PfDialogResource* findDialogTemplate(const PfResourceTable& table, const char* name) {
    if (name == nullptr) return nullptr;
    for (uint32_t i = 0; i < table.dialogCount; ++i) {
        const PfDialogResource& d = table.dialogs[i];
        if (PF_IS_INTRESOURCE(name)) {
            if (d.name == nullptr && d.id == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name))) return &d;
        } else if (d.name != nullptr && strcasecmp(d.name, name) == 0) {
            return &d;  // resource names compare without regard to case
        }
    }
    return nullptr;
}

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT PfInstance pfModuleOf(const void* address) { return baseOf(address); }

PF_EXPORT PfInstance pfInstanceOfLibrary(PfLibrary library) {
    if (library == nullptr) return nullptr;
    link_map* map = nullptr;
    if (dlinfo(reinterpret_cast<void*>(library), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
    // The dynamic section lies inside the object: its module is the library.
    return baseOf(map->l_ld);
}

PF_EXPORT int pfLoadString(PfInstance instance, uint32_t id, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    std::lock_guard<std::mutex> lock(desktopMutex());
    const PfResourceTable* table = resourcesOf(instance);
    if (table == nullptr) return 0;
    // String ids are 16-bit on Windows.
    const uint32_t wanted = id & 0xFFFFu;
    const PfStringResource* end = table->strings + table->stringCount;
    const PfStringResource* s =
        std::lower_bound(table->strings, end, wanted, [](const PfStringResource& r, uint32_t v) { return r.id < v; });
    if (s == end || s->id != wanted) return 0;
    uint32_t n = std::min<uint32_t>(s->length, static_cast<uint32_t>(bufferSize - 1));
    std::memcpy(buffer, s->text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

PF_EXPORT int pfdRegisterResources(const PfResourceTable* table, const void* addressInModule) {
    PfInstance instance = baseOf(addressInModule);
    if (table == nullptr || instance == nullptr) return 0;
    std::lock_guard<std::mutex> lock(desktopMutex());
    registry()[instance] = table;
    return 1;
}

PF_EXPORT void pfdUnregisterResources(const PfResourceTable* table) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    auto& r = registry();
    for (auto it = r.begin(); it != r.end();) it = it->second == table ? r.erase(it) : std::next(it);
}
}
