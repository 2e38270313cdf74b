/* The mouse cursor (stands for LoadCursorA with a system cursor id, and
 * SetCursor). */
#ifndef PLATFORM_CURSORS_H
#define PLATFORM_CURSORS_H

#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfCursorTag* PfCursor;

/* System cursor ids (IDC_*). */
enum { PF_IDC_ARROW = 32512, PF_IDC_WAIT = 32514 };

/* LoadCursorA(NULL, MAKEINTRESOURCE(id)): a system cursor, null for an
 * unknown id. */
PfCursor pfLoadSystemCursor(uint32_t id);
/* SetCursor: the cursor shown before; null hides the cursor. */
PfCursor pfSetCursor(PfCursor cursor);

#ifdef __cplusplus
}
#endif

#endif
