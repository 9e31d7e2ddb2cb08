#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tarvelo {

// The answer to a SOAP 1.1 RPC request read as it arrives, without ever holding the whole
// envelope: the text of <operation>Response's "return" goes to a sink piece by piece, entities
// and character references decoded, line breaks exactly as sent. Meant for answers that can be
// tens of megabytes (a month of prices); SoapResponse::read stays the reader of short ones.
//
// Differences from SoapResponse::read, all on answers no conforming service sends: the text is
// that of the first "return" (not the last), and the XML must be well formed in every respect
// (undeclared entities, bytes that are no UTF-8 and repeated attributes are refused).
class SoapResponseStream {
public:
    using Sink = std::function<void(std::string_view)>;

    SoapResponseStream(std::string_view operation, Sink sink);
    ~SoapResponseStream();
    SoapResponseStream(const SoapResponseStream&) = delete;
    SoapResponseStream& operator=(const SoapResponseStream&) = delete;

    // Throws tarvelo::Error as soon as the bytes cannot be such an answer; whatever the sink
    // throws passes through.
    void feed(std::string_view bytes);
    // After the last bytes: throws SoapFault for a fault, tarvelo::Error for anything that is not
    // a complete answer.
    void finish();

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace tarvelo
