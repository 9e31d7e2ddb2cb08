#pragma once

#include <string>

namespace tarvelo {

// This machine's identifier: the processor identification instruction with function 1, its
// feature flags (EDX) and signature (EAX) as "%08X%08X", sixteen upper-case hexadecimal digits.
// The same on every machine with the same processor model, stepping and features. Empty where the
// processor cannot be asked.
std::string GetPCID();

}  // namespace tarvelo
