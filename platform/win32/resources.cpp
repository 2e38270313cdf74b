// Module instances and string resources: direct calls to kernel32 and user32.
#include "platform/resources.h"

#include <windows.h>

extern "C" {

PfInstance pfModuleOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return nullptr;
    return reinterpret_cast<PfInstance>(module);
}

PfInstance pfInstanceOfLibrary(PfLibrary library) { return reinterpret_cast<PfInstance>(library); }

int pfLoadString(PfInstance instance, uint32_t id, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    return LoadStringA(reinterpret_cast<HINSTANCE>(instance), id, buffer, bufferSize);
}
}
