// The service's reading of what arrives: SOAP envelopes, parameters, statements, delta packets
// and their parameter lines. The first byte picks how the rest is delivered:
//   0  a whole request body to the read side        1  ... to the write side
//   2  a statement for SpplyVanDataBySQL            3  a statement for ApplyVanDataByExc
//   4  "params NUL delta" for ApplyVanDataBySQLupKeyChangedExc1
//   5  a gzip-compressed body to the read side, inflated as the endpoint inflates one, in
//      pieces of the size its next byte says, up to a limit: never past it, and what inflates
//      whole is compressed and inflated again to itself
// Whatever arrives, the answer is a SOAP answer or fault, the process lives, the schema keeps
// its tables and the secret stays as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/soap/SoapService.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "server/store/Store.h"
#include "soap/SoapFault.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "text/Gzip.h"

using namespace tarvelo;

namespace {

struct Fixture {
    std::filesystem::path dir;
    std::string path;
    std::unique_ptr<server::Store> store;
    std::unique_ptr<server::SoapService> service;
    std::unique_ptr<server::SqliteServiceConnection> check;
    std::string secret;

    Fixture() {
        dir = std::filesystem::temp_directory_path() /
              ("tarvelo-server-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "fuzz.db").string();
        server::Store::initialise(path);
        check = std::make_unique<server::SqliteServiceConnection>(path);
        check->db().exec(R"(
INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区');
INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,XXJ,RQ) VALUES
 ('202612','东城区',1,'热轧带肋钢筋','4120','2026-12-05'),
 ('202612','东城区',2,'普通硅酸盐水泥','面议',NULL);
INSERT INTO KVR_USERH (USERID,USERNAME,DATABZ,SYSBZ) VALUES ('amy','艾米','10','0');
)");
        store = std::make_unique<server::Store>(path);
        server::ServiceLimits limits;
        limits.statementTime = std::chrono::milliseconds(300);
        limits.maxAnswerBytes = 1 << 20;
        service = std::make_unique<server::SoapService>(*store, limits);
        secret = scalar("select SECRET from TARVELO_SECRET");
    }

    ~Fixture() {
        service.reset();
        store.reset();
        check.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::string scalar(std::string_view sql) {
        server::SqliteStatement q(check->db(), sql);
        return q.step() ? q.text(0) : std::string();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

std::string request(const SoapInterface& iface, std::string_view operation,
                    std::span<const SoapRequest::Argument> args) {
    return SoapRequest::write(iface.ns, operation, args);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Fixture& f = fixture();
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const SoapInterface* iface = &SoapInterface::supply();
    std::string body;
    std::string operation = "x";
    switch (data[0] % 6) {
        case 0:
            body = rest;
            break;
        case 1:
            iface = &SoapInterface::apply();
            body = rest;
            break;
        case 2: {
            const SoapRequest::Argument a[] = {{"sSQL", std::string(rest)}};
            operation = "SpplyVanDataBySQL";
            body = request(*iface, operation, a);
            break;
        }
        case 3: {
            iface = &SoapInterface::apply();
            const SoapRequest::Argument a[] = {{"sSQL", std::string(rest)}};
            operation = "ApplyVanDataByExc";
            body = request(*iface, operation, a);
            break;
        }
        case 5: {
            constexpr std::size_t kLimit = 1 << 20;
            const std::size_t piece = rest.empty() ? 1 : 1 + static_cast<unsigned char>(rest[0]);
            std::string_view gz = rest.empty() ? rest : rest.substr(1);
            GzipInflater inflater(kLimit);
            while (!gz.empty()) {
                const std::string_view next = gz.substr(0, piece);
                gz.remove_prefix(next.size());
                inflater.inflate(next, body);
                if (body.size() > kLimit) std::abort();
            }
            if (inflater.finish() != GzipInflater::State::Done) return 0;
            GzipInflater again(kLimit);
            std::string round;
            if (again.inflate(gzip(body, 1), round) != GzipInflater::State::Done || round != body)
                std::abort();
            break;
        }
        default: {
            iface = &SoapInterface::apply();
            const auto nul = rest.find('\0');
            const SoapRequest::Argument a[] = {
                {"sSQL", std::string(rest.substr(0, nul))},
                {"sDelta00", nul == std::string_view::npos ? std::string()
                                                           : std::string(rest.substr(nul + 1))}};
            operation = "ApplyVanDataBySQLupKeyChangedExc1";
            body = request(*iface, operation, a);
        }
    }
    const auto reply = f.service->handle(*iface, body);
    if (reply.status != 200 && reply.status != 500) std::abort();
    try {
        SoapResponse::read(reply.body, reply.operation.empty() ? operation : reply.operation);
        if (reply.status != 200) std::abort();  // a fault must say so in its status
    } catch (const SoapFault&) {
        if (reply.status != 500) std::abort();
    }  // anything else escapes: the answer is not SOAP
    if (f.scalar("select count(*) from sqlite_schema where type='table'") != "9") std::abort();
    if (f.scalar("select SECRET from TARVELO_SECRET") != f.secret) std::abort();
    return 0;
}
