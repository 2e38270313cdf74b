#include <dlfcn.h>

#include "desktop_state.h"
#include "platform/library.h"

extern "C" {

PF_EXPORT PfLibrary pfLoadLibrary(const char* path) {
    if (path == nullptr) return nullptr;
    std::string p = pf_posix::posixPath(path);
    // A bare name is looked up as dlopen does; a name with a slash is a path.
    return reinterpret_cast<PfLibrary>(dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL));
}

PF_EXPORT PfProcedure pfGetProcAddress(PfLibrary library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<PfProcedure>(dlsym(reinterpret_cast<void*>(library), name));
}

PF_EXPORT int pfFreeLibrary(PfLibrary library) {
    if (library == nullptr) return 0;
    return dlclose(reinterpret_cast<void*>(library)) == 0 ? 1 : 0;
}
}
