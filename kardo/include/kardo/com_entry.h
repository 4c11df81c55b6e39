#ifndef KARDO_COM_ENTRY_H
#define KARDO_COM_ENTRY_H

/* The three standard entry points of an in-process component server. The
 * library registers no component classes, so they give the framework's
 * answers for a server without any. */
#include <kardo/export.h>

KARDO_BEGIN_C

/* No class object is available: CLASS_E_CLASSNOTAVAILABLE (0x80040111). */
KARDO_API long DllGetClassObject(const void* clsid, const void* iid, void** object);
/* No component object is alive, so the library may be unloaded: S_OK (0). */
KARDO_API long DllCanUnloadNow(void);
/* Nothing to register: S_OK (0). */
KARDO_API long DllRegisterServer(void);

KARDO_END_C

#endif
