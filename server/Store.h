#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/ServiceConnection.h"

namespace tarvelo::server {

// One database file of the service: its connections (one per worker at a time, kept for reuse)
// and the secret of the password transformation, read once when the store opens.
class Store {
public:
    // Opens an initialised database, upgrading the tables of a file an older version wrote
    // (prepareSchema). Throws tarvelo::Error when the file is missing, was not initialised or
    // cannot be upgraded.
    explicit Store(std::string path);

    // Creates the file, switches it to WAL, creates the tables and makes the secret. Throws when
    // the file already holds the service's tables.
    static void initialise(const std::string& path);

    // A connection for the duration of one request; handed back when the lease ends.
    class Lease {
    public:
        Lease(Store& store, std::unique_ptr<ServiceConnection> c)
            : m_store(&store), m_c(std::move(c)) {}
        ~Lease();
        Lease(Lease&&) = default;
        ServiceConnection& operator*() const { return *m_c; }
        ServiceConnection* operator->() const { return m_c.get(); }

    private:
        Store* m_store;
        std::unique_ptr<ServiceConnection> m_c;
    };
    Lease acquire();

    const std::string& path() const { return m_path; }
    const std::string& secret() const { return m_secret; }

private:
    std::string m_path;
    std::string m_secret;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<ServiceConnection>> m_idle;
};

}  // namespace tarvelo::server
