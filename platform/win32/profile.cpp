// win.ini and the Windows directory: direct calls to kernel32.
#include "platform/profile.h"

#include <windows.h>

extern "C" {

uint32_t pfGetProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            uint32_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    buffer[0] = '\0';
    // The listing forms (null section or key) are not part of this interface.
    if (section == nullptr || key == nullptr) return 0;
    return GetProfileStringA(section, key, defaultValue != nullptr ? defaultValue : "", buffer, bufferSize);
}

uint32_t pfGetWindowsDirectory(char* buffer, uint32_t bufferSize) { return GetWindowsDirectoryA(buffer, bufferSize); }
}
