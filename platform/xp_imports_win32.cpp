// winpthreads, which the posix thread model links into every program, imports
// GetTickCount64, which Windows XP's kernel32 lacks: XP would refuse to start
// the program. This object defines the import's pointer itself, so the linker
// takes it instead of kernel32's entry: the system's function where there is
// one, else GetTickCount widened to 64 bits by counting its wraps. It must be
// linked as an object (an archive member would not be pulled in for it).
#include <windows.h>

namespace {

using TickCount64 = ULONGLONG(WINAPI*)();

// Plain variables, no function-local statics: their guards would take a
// winpthreads lock, which may come back here.
TickCount64 system_tick_count = nullptr;
bool looked_up = false;
DWORD last_ticks = 0;
ULONGLONG wraps = 0;

ULONGLONG WINAPI tick_count_64()
{
    if (!looked_up) {
        const FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
        system_tick_count = reinterpret_cast<TickCount64>(reinterpret_cast<void (*)()>(found));
        looked_up = true;
    }
    if (system_tick_count != nullptr)
        return system_tick_count();
    // One thread calls this in our programs, often enough to see every wrap.
    const DWORD now = GetTickCount();
    if (now < last_ticks)
        wraps += 0x100000000ULL;
    last_ticks = now;
    return wraps + now;
}

}  // namespace

#if defined(__i386__)
#define IMU_IMPORT_NAME "__imp__GetTickCount64@0"
#else
#define IMU_IMPORT_NAME "__imp_GetTickCount64"
#endif
extern "C" {
extern TickCount64 const imu_imported_tick_count_64 __asm__(IMU_IMPORT_NAME);
TickCount64 const imu_imported_tick_count_64 = tick_count_64;
}
