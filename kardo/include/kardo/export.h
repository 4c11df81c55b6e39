#ifndef KARDO_EXPORT_H
#define KARDO_EXPORT_H

/* Marks a name as part of the library's interface; everything else stays hidden. */
#define KARDO_API __attribute__((visibility("default")))

/* Plain functions are exported unmangled, as C functions. */
#ifdef __cplusplus
#define KARDO_EXTERN_C extern "C"
#define KARDO_BEGIN_C extern "C" {
#define KARDO_END_C }
#else
#define KARDO_EXTERN_C
#define KARDO_BEGIN_C
#define KARDO_END_C
#endif

#endif
