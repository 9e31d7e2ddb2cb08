#pragma once

#include <string>

#include "service/ServiceConfig.h"
#include "support/TestService.h"

namespace tarvelo::test {

// The data module's configuration for a test service, with the administrator's token: for tests
// of the module itself, whose statements are their own rather than the client's.
inline ServiceConfig administrator(const TestService& service) {
    ServiceConfig config = ServiceConfig::forService(service.base());
    config.accessToken = std::string(TestService::kAdminToken);
    return config;
}

}  // namespace tarvelo::test
