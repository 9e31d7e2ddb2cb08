#pragma once

#include <string>
#include <vector>

namespace tarvelo::server {

// The command line of tarvelo-server:
//   init --db FILE
//   serve --db FILE [--listen HOST:PORT] [--tls-cert F --tls-key F] [--log-statements]
//         [--access-token-file F] [--allow NET]... [--tls-client-ca F]
//   demo-data --db FILE [--rows N]
//   add-user --db FILE --id ID --name NAME --password P --roles 11 [--system]
//   sessions --db FILE [--clear ID | --older-than DAYS]
//   backup --db FILE --to COPY [--overwrite]
// Returns the process's exit code; messages go to stdout, errors to stderr.
int runServerCommand(const std::vector<std::string>& args);

}  // namespace tarvelo::server
