// Handle-based files: direct calls to kernel32's _lopen family.
#include <windows.h>

#include "platform/files.h"

extern "C" {

PfFile pfLopen(const char* path, int mode) { return _lopen(path, mode); }
PfFile pfLcreat(const char* path, int attribute) { return _lcreat(path, attribute); }
uint32_t pfLread(PfFile file, void* buffer, uint32_t bytes) { return _lread(file, buffer, bytes); }
uint32_t pfLwrite(PfFile file, const void* buffer, uint32_t bytes) {
    return _lwrite(file, static_cast<LPCCH>(buffer), bytes);
}
int32_t pfHwrite(PfFile file, const void* buffer, int32_t bytes) {
    return _hwrite(file, static_cast<LPCCH>(buffer), bytes);
}
int32_t pfLlseek(PfFile file, int32_t offset, int origin) { return _llseek(file, offset, origin); }
PfFile pfLclose(PfFile file) { return _lclose(file); }
int pfDeleteFile(const char* path) { return DeleteFileA(path); }
}
