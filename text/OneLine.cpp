#include "text/OneLine.h"

namespace tarvelo {

std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\r' || text[i] == '\n')
            out += "⏎";
        else if (text[i] == '\t')
            out += "→";
        else
            out += text[i];
    }
    return out;
}

}  // namespace tarvelo
