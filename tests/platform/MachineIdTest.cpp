#include <gtest/gtest.h>

#include "platform/MachineId.h"

namespace tarvelo::test {
namespace {

// Two PCs of one model share the processor's signature; the system's identifier of each
// installation tells them apart. The values were computed independently (Python's hashlib).
TEST(MachineId, TellsPCsOfOneModelApartInTheStoredForm) {
    const char* const signature = "BFEBFBFF000906EA";
    const struct {
        const char* systemId;
        const char* id;
    } cases[] = {
        {"0123456789abcdef0123456789abcdef", "7BB648F39337B290"},
        {"fedcba9876543210fedcba9876543210", "65EE63C3D6C800AC"},
        {"", "BFEBFBFF000906EA"},  // no system identifier: the processor's signature, as before
    };
    for (const auto& c : cases)
        EXPECT_EQ(machineIdentifier(c.systemId, signature), c.id) << c.systemId;
}

// On this machine: sixteen upper-case hexadecimal digits, the same at every call, and derived
// from the installation's identifier where the system has one.
TEST(MachineId, ThisMachinesIdentifierHasTheStoredForm) {
    const std::string id = GetPCID();
    ASSERT_EQ(id.size(), 16u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
    EXPECT_EQ(GetPCID(), id);
    const std::string processor = processorSignature();
#if defined(__x86_64__)
    // Feature flags first: every x86-64 processor has the FPU (bit 0) and SSE2 (bit 26), while
    // bit 26 of the signature is reserved and zero.
    ASSERT_EQ(processor.size(), 16u);
    EXPECT_EQ(std::stoul(processor.substr(0, 8), nullptr, 16) & 0x04000001u, 0x04000001u);
    EXPECT_EQ(std::stoul(processor.substr(8), nullptr, 16) & 0x04000000u, 0u);
#endif
    if (!systemMachineId().empty()) {
        EXPECT_NE(id, processor);
        EXPECT_EQ(id, machineIdentifier(systemMachineId(), processor));
    }
}

}  // namespace
}  // namespace tarvelo::test
