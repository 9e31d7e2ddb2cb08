#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// This machine's identifier: sixteen upper-case hexadecimal digits, the form stored in the
// session registry (MAC) and in an account's verified machine (VERIFY).
//
// It is derived from the operating system's identifier of the installation (Linux
// /etc/machine-id, Windows MachineGuid) together with the processor's signature, so that two
// PCs of one model tell themselves apart. Where the system has no identifier it is the
// processor's signature alone (function 1 of the identification instruction, feature flags and
// signature as "%08X%08X"), as older clients made it. Empty where neither can be had.
std::string GetPCID();

// The identifier made of `systemId` (empty: none) and `processorSignature`: the first eight
// bytes of SHA-256 over "<systemId>/<processorSignature>", in upper-case hexadecimal; the
// processor signature itself when there is no system identifier.
std::string machineIdentifier(std::string_view systemId, std::string_view processorSignature);

// The processor's signature as "%08X%08X", or empty.
std::string processorSignature();
// The system's installation identifier, trimmed, or empty when it has none.
std::string systemMachineId();

}  // namespace tarvelo
