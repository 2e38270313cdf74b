// Ids of the drivers' resources, shared by the resource script, the code
// that uses the resources and the tests. The string table holds seven
// language blocks of 50 ids: id = language index x 50 + position.
#ifndef SCANNER_DRIVER_RESOURCES_DRIVER_RESOURCES_H
#define SCANNER_DRIVER_RESOURCES_DRIVER_RESOURCES_H

// Plain #defines: windres reads this header too.
#define DRV_IDD_POPUP 300        // warm-up popup
#define DRV_IDC_POPUP_FRAME 301  // static frame inside the popup (only its rectangle is used)
#define DRV_IDD_PRESCAN_LENGTH_NAME "PRESCANL"
#define DRV_IDC_HOST_STATUS 1017  // item of the host's dialog receiving status texts

#define DRV_LANGUAGE_BLOCK_SIZE 50
#define DRV_LANGUAGE_COUNT 7
#define DRV_FIRST_POSITION 1
#define DRV_LAST_POSITION 29

#if !defined(RC_INVOKED) && !defined(_WIN32)
#include "platform/resource_table_posix.h"
// The table generated from the resource script at build time.
extern "C" const PfResourceTable drvResourceTable;
#endif

#endif
