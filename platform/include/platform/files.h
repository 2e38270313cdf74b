/* Handle-based files (stands for _lopen, _lcreat, _lread, _lwrite, _hwrite,
 * _llseek, _lclose, DeleteFileA). Paths are 8-bit strings; on POSIX a
 * backslash is a path separator. */
#ifndef PLATFORM_FILES_H
#define PLATFORM_FILES_H

#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t PfFile;

#define PF_HFILE_ERROR ((PfFile)-1)
/* The error result of pfLread/pfLwrite (UINT -1). */
#define PF_FILE_IO_ERROR 0xFFFFFFFFu

enum { PF_OF_READ = 0, PF_OF_WRITE = 1, PF_OF_READWRITE = 2 };
enum { PF_FILE_BEGIN = 0, PF_FILE_CURRENT = 1, PF_FILE_END = 2 };

/* _lopen: open an existing file. */
PfFile pfLopen(const char* path, int mode);
/* _lcreat: create or truncate a file for writing (attribute 0: normal). */
PfFile pfLcreat(const char* path, int attribute);
/* _lread: bytes read, PF_FILE_IO_ERROR on error. */
uint32_t pfLread(PfFile file, void* buffer, uint32_t bytes);
/* _lwrite: bytes written, PF_FILE_IO_ERROR on error. */
uint32_t pfLwrite(PfFile file, const void* buffer, uint32_t bytes);
/* _hwrite: as _lwrite, with a signed 32-bit count and result (-1 on error). */
int32_t pfHwrite(PfFile file, const void* buffer, int32_t bytes);
/* _llseek: the new position, -1 on error. */
int32_t pfLlseek(PfFile file, int32_t offset, int origin);
/* _lclose: 0 on success, PF_HFILE_ERROR on error. */
PfFile pfLclose(PfFile file);
/* DeleteFileA: nonzero on success. */
int pfDeleteFile(const char* path);

#ifdef __cplusplus
}
#endif

#endif
