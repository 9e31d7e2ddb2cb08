#include "platform/MachineId.h"

#include <cstdio>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace tarvelo {

std::string GetPCID() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return {};
    char id[17];
    std::snprintf(id, sizeof id, "%08X%08X", edx, eax);
    return id;
#else
    return {};
#endif
}

}  // namespace tarvelo
