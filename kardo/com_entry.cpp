#include <kardo/com_entry.h>

#include <cstdint>

long DllGetClassObject(const void*, const void*, void** object) {
    if (object) *object = nullptr;
    return static_cast<long>(static_cast<int32_t>(0x80040111u));
}

long DllCanUnloadNow(void) { return 0; }

long DllRegisterServer(void) { return 0; }
