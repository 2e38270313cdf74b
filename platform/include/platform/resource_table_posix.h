/* POSIX only: the compiled form of a library's resource script. The build
 * generates one table per resource script; the library registers it with the
 * desktop when it is loaded (and withdraws it when unloaded), so that
 * pfLoadString and pfCreateDialogParam find it through pfModuleOf. On Windows
 * the same script is compiled into the DLL by windres instead. */
#ifndef PLATFORM_RESOURCE_TABLE_POSIX_H
#define PLATFORM_RESOURCE_TABLE_POSIX_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/resources.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfStringResource {
    uint32_t id;
    const char* text; /* bytes as stored, zero-terminated */
    uint32_t length;
} PfStringResource;

/* Positions and sizes in dialog units. */
typedef struct PfDialogItemResource {
    int32_t id;
    const char* windowClass; /* "STATIC", "BUTTON", "SCROLLBAR", "EDIT"... */
    const char* text;
    uint32_t style;
    int16_t x, y, cx, cy;
} PfDialogItemResource;

typedef struct PfDialogResource {
    const char* name; /* null for a numbered template */
    uint32_t id;      /* 0 for a named template */
    uint32_t style;
    int16_t x, y, cx, cy;
    const char* caption;
    const char* fontName;
    uint16_t fontPoints;
    const PfDialogItemResource* items;
    uint32_t itemCount;
} PfDialogResource;

typedef struct PfResourceTable {
    const PfStringResource* strings; /* ascending ids */
    uint32_t stringCount;
    const PfDialogResource* dialogs;
    uint32_t dialogCount;
} PfResourceTable;

/* Registers table as the resources of the module holding addressInModule;
 * a second table for the same module replaces the first. Nonzero on success. */
int pfdRegisterResources(const PfResourceTable* table, const void* addressInModule);
/* Withdraws table (as the module unloads). */
void pfdUnregisterResources(const PfResourceTable* table);

#ifdef __cplusplus
}
#endif

#endif
