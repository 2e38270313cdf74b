/* Calling conventions at the library boundaries.
 * On 32-bit Windows the keywords matter: the engine's exports are caller-cleans,
 * the drivers' exports, the host progress callback, window/dialog procedures
 * and the pass-through procedures are callee-cleans. Everywhere else the
 * macros expand to nothing. */
#ifndef PLATFORM_CALLING_H
#define PLATFORM_CALLING_H

#if defined(_WIN32) && !defined(_WIN64)
#define PF_CDECL __cdecl
#define PF_STDCALL __stdcall
#else
#define PF_CDECL
#define PF_STDCALL
#endif

#if defined(_WIN32)
#define PF_EXPORT
#else
#define PF_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define PF_EXTERN_C extern "C"
#else
#define PF_EXTERN_C
#endif

#endif
