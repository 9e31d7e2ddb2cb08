// tarvelo-relay: the client and the service on one computer, as if a slow link lay between them.
//
//   tarvelo-relay --target http://127.0.0.1:PORT [--listen PORT] [--rtt MS] [--rate RATE] [--quiet]
//
// Listens on 127.0.0.1 (a free port unless --listen) and forwards every connection to the
// target (http://HOST:PORT or HOST:PORT, a numeric IPv4 address), holding each piece of bytes for
// half the round trip and pacing them at the rate ("10mbit", "512kbit", "2mbyte"; unlimited
// unless told). Prints "listening on http://127.0.0.1:PORT" first, then a line for each
// connection as it ends (round trips, bytes each way; not with --quiet), and the totals when
// stopped by SIGINT or SIGTERM. See NetRelay.h for the link's model and what a round trip is.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bench/NetRelay.h"

using namespace tarvelo::bench;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: tarvelo-relay --target http://HOST:PORT [--listen PORT] [--rtt MS] "
                 "[--rate RATE] [--quiet]\n"
                 "  RATE: 10mbit, 512kbit, 2mbyte, ... (unlimited unless given)\n");
    return 2;
}

void print(const char* what, const RelayCounts& c) {
    std::printf(
        "%s: %ld connection(s), %ld round trip(s), %lld bytes to the service, %lld bytes "
        "back\n",
        what, c.connections, c.roundTrips, c.bytesUp, c.bytesDown);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string target;
    int listen = 0;
    LinkShape shape;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--target" && hasValue) {
            target = argv[++i];
        } else if (a == "--listen" && hasValue) {
            listen = std::atoi(argv[++i]);
        } else if (a == "--rtt" && hasValue) {
            shape.roundTrip = std::chrono::microseconds(
                static_cast<long long>(std::strtod(argv[++i], nullptr) * 1000));
        } else if (a == "--rate" && hasValue) {
            const auto rate = LinkShape::parseRate(argv[++i]);
            if (!rate) return usage();
            shape.bytesPerSecond = *rate;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            return usage();
        }
    }
    if (target.starts_with("http://")) target.erase(0, 7);
    while (!target.empty() && target.back() == '/')
        target.pop_back();
    const auto colon = target.rfind(':');
    if (target.empty() || colon == std::string::npos) return usage();
    const std::string host = target.substr(0, colon);
    const int port = std::atoi(target.c_str() + colon + 1);

    // The signals are taken by sigwait below, on this thread; the relay's thread inherits the mask.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    try {
        NetRelay relay(host, port, shape, listen);
        if (!quiet)
            relay.onClosed([](long id, const RelayCounts& c) {
                print(("connection " + std::to_string(id) + " closed").c_str(), c);
            });
        std::printf(
            "tarvelo-relay: listening on %s, forwarding to %s:%d, round trip %lld ms, rate "
            "%s\n",
            relay.baseUrl().c_str(), host.c_str(), port,
            static_cast<long long>(shape.roundTrip.count() / 1000),
            LinkShape::rateText(shape.bytesPerSecond).c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop, &signal);
        print("tarvelo-relay stopped", relay.counts());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvelo-relay: %s\n", e.what());
        return 1;
    }
    return 0;
}
