#include <string>
#include <vector>

#include "server/ServerCommand.h"

int main(int argc, char** argv) {
    return tarvelo::server::runServerCommand(std::vector<std::string>(argv + 1, argv + argc));
}
