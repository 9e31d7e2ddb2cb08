#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace tarvelo {

// Where the service is and how to reach it: the two endpoint URLs and the transport settings.
//
// tarvelo.ini, section [service]:
//   service       = http://127.0.0.1:8517     ; both endpoints under the reference service's paths
//   read-url      = <the read side's endpoint>  ; or each one on its own
//   write-url     = <the write side's endpoint>
//   ca-file       = /path/to/ca.pem             ; a service with a certificate of its own
//                                               ; (a relative path is beside the file)
//   access-token  = TOKEN                       ; a service that asks for its access token: sent
//                                               ; as "Authorization: Bearer TOKEN" with every
//                                               ; call (visible ASCII, no blanks)
//   client-cert   = /path/to/client.pem         ; a service that asks for a client certificate
//   client-key    = /path/to/client.key         ; (over https://; PEM; relative paths are beside
//                                               ; the file; the key may be in the cert's file)
//   proxy         = http://proxy:3128           ; or none; unset: the environment's proxy
//   insecure-tls  = false                       ; true skips certificate checks (never by default)
//   connect-timeout = 10                        ; seconds
//   timeout       = 120                         ; seconds for a whole call of the read side
//   write-timeout = 600                         ; seconds for a whole call of the write side
//                                               ; (a whole month's upload on a slow link)
//   compress-requests = false                   ; true: a request body over 1 KiB (an upload's
//                                               ; delta) goes out gzip-compressed; the service
//                                               ; must take Content-Encoding: gzip (the
//                                               ; reference service does; an older one does not)
// Section and key names are case-blind.
struct ServiceConfig {
    std::string readUrl;
    std::string writeUrl;
    std::string caFile;
    std::string accessToken;  // empty: none sent
    std::string clientCert;   // empty: none presented
    std::string clientKey;    // empty: the key is in clientCert's file
    std::string proxy;        // empty: the environment's; "none": no proxy
    bool insecureTls = false;
    bool compressRequests = false;  // longer request bodies go out gzip-compressed
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{120000};
    std::chrono::milliseconds writeTimeout{600000};

    // The endpoints of a reference service at `base` ("http://host:port").
    static ServiceConfig forService(std::string base);

    // Reads the first of `files` that exists, then applies the options of `args` that name the
    // service (--service BASE, --read-url U, --write-url U, --config FILE), removing them from
    // `args`. Throws tarvelo::Error when no endpoints are configured, naming the files looked for,
    // or when a file or option is malformed.
    static ServiceConfig load(std::vector<std::string>& args,
                              const std::vector<std::string>& files);

    // tarvelo.ini beside the executable, then in the user's configuration folder, then the
    // computer's /etc/tarvelo/tarvelo.ini (the first that exists is read).
    static std::vector<std::string> standardFiles(const std::string& executableDir);

    // Reads one file; throws tarvelo::Error naming the file and line of a mistake.
    void read(const std::string& file);
};

}  // namespace tarvelo
