/* Types shared by every family of wex_publiclib: the caller routines and the export marker. */
#ifndef WEX_TYPES_H
#define WEX_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the functions that the shared library exports. Everything else of the library is an
 * internal interface: callable from code linked with the static library, hidden in the shared
 * library. */
#if defined(_WIN32)
#if defined(WEX_PUBLICLIB_BUILDING_DLL)
#define QUIL_EXPORT __declspec(dllexport)
#elif defined(WEX_PUBLICLIB_USING_DLL)
#define QUIL_EXPORT __declspec(dllimport)
#else
#define QUIL_EXPORT
#endif
#elif defined(__GNUC__)
#define QUIL_EXPORT __attribute__((visibility("default")))
#else
#define QUIL_EXPORT
#endif

/* Comparison: 0 when the element (or stored key copy) matches the key, anything else otherwise. */
typedef uint32_t (*QUIL_CompareFunc)(const void *key, const void *item);

/* Release: disposes of an element or a key copy; plain free() fits. */
typedef void (*QUIL_ReleaseFunc)(void *item);

/* Visit: called once per element of a walk with the two caller values around it;
 * 0 continues the walk, any other value stops it. */
typedef uint32_t (*QUIL_VisitFunc)(void *first, void *element, void *second);

/* Hash: writes the hash value of key and returns 0, or returns non-zero when it cannot. */
typedef uint32_t (*QUIL_HashFunc)(const void *key, uint32_t *hashValue);

#ifdef __cplusplus
}
#endif

#endif
