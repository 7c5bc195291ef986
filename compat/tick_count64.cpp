#include "tick_count64.h"

namespace compat {

namespace {

typedef ULONGLONG(WINAPI* TickCount64Fn)();

// Written once by whichever thread looks first; every thread finds the same
// value, so a race is harmless. No function-local statics here: their guard
// takes a lock of the threads library, which may be the very caller.
TickCount64Fn gSystemTickCount64 = nullptr;
LONG gLookedUp = 0;

LONG gWidenBusy = 0;
ULONGLONG gLastTick = 0;

TickCount64Fn SystemTickCount64() {
  if (__atomic_load_n(&gLookedUp, __ATOMIC_ACQUIRE)) return gSystemTickCount64;
  TickCount64Fn fn = nullptr;
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    fn = reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
  gSystemTickCount64 = fn;
  __atomic_store_n(&gLookedUp, 1, __ATOMIC_RELEASE);
  return fn;
}

}  // namespace

ULONGLONG WidenTickCount(DWORD now, ULONGLONG* last) {
  ULONGLONG wide = (*last & ~0xFFFFFFFFull) | now;
  if (now < static_cast<DWORD>(*last)) wide += 0x100000000ull;
  *last = wide;
  return wide;
}

ULONGLONG TickCount64() {
  if (TickCount64Fn fn = SystemTickCount64()) return fn();
  // A spin lock: the section is a few instructions, and a critical section
  // would need an initialisation that the first caller may come before.
  while (InterlockedExchange(&gWidenBusy, 1)) Sleep(0);
  const ULONGLONG wide = WidenTickCount(GetTickCount(), &gLastTick);
  InterlockedExchange(&gWidenBusy, 0);
  return wide;
}

}  // namespace compat

// The import the threads library makes, answered here so that the linker takes
// neither kernel32's entry nor its thunk. i686 decorates __stdcall names.
#if defined(_WIN64)
#define COMPAT_SYMBOL(name, bytes) #name
#else
#define COMPAT_SYMBOL(name, bytes) "_" #name "@" #bytes
#endif

extern "C" {
ULONGLONG WINAPI CompatGetTickCount64() __asm__(COMPAT_SYMBOL(GetTickCount64, 0));
ULONGLONG WINAPI CompatGetTickCount64() { return compat::TickCount64(); }

ULONGLONG(WINAPI* CompatGetTickCount64Import)() __asm__("__imp_" COMPAT_SYMBOL(GetTickCount64, 0)) =
    &CompatGetTickCount64;
}
