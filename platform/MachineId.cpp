#include "platform/MachineId.h"

#include "text/Trim.h"

#include <openssl/sha.h>

#include <cstdio>
#include <fstream>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace tarvelo {

std::string processorSignature() {
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

std::string systemMachineId() {
#ifdef _WIN32
    char value[128] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", "MachineGuid",
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value, &size) == ERROR_SUCCESS)
        return std::string(trim(value));
    return {};
#else
    // systemd's file, then D-Bus's copy on systems without systemd.
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::ifstream in(path);
        std::string line;
        if (in && std::getline(in, line)) {
            const std::string_view id = trim(line);
            if (!id.empty()) return std::string(id);
        }
    }
    return {};
#endif
}

std::string machineIdentifier(std::string_view systemId, std::string_view processor) {
    if (systemId.empty()) return std::string(processor);
    const std::string source = std::string(systemId) + "/" + std::string(processor);
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(source.data()), source.size(), digest);
    char id[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(id + 2 * i, 3, "%02X", digest[i]);
    return id;
}

std::string GetPCID() {
    return machineIdentifier(systemMachineId(), processorSignature());
}

}  // namespace tarvelo
