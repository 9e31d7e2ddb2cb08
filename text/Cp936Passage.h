#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// Text crossing the narrow (code page 936) boundary piece by piece as it arrives: the pieces
// together come out exactly as throughCp936 of the whole text would, whatever the cuts. A UTF-8
// sequence cut at a piece's end waits for the next piece.
class Cp936Passage {
public:
    // Appends to `out` what `piece` becomes.
    void pass(std::string_view piece, std::string& out);
    // Appends what a sequence left cut off at the very end becomes (one "?").
    void finish(std::string& out);

private:
    std::string m_held;  // the start of a UTF-8 sequence whose rest has not arrived
};

}  // namespace tarvelo
