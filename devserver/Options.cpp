#include "devserver/Options.h"

#include "devserver/Faults.h"

#include <BuildValues.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace zirv::devserver {

namespace {

template <typename Number>
bool parseNumber(std::string_view text, Number& out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

std::filesystem::path defaultDataDir()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "zirv2-devserver";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local/share/zirv2-devserver";
}

std::string helpText(const char* program)
{
    std::string text = "Usage: ";
    text += program;
    text += R"( [options]

The project's reference backend and B2 storage emulator. It serves the ZIRV
backend operations (accounts, catalogue, user data, upload registration) on one
port and an emulation of the B2 native API (v1 and v2 paths, downloads by name)
on another, persisting to SQLite and to files under the data folder.

Without options it serves on 127.0.0.1:8780 (backend) and 127.0.0.1:8781
(storage) with its data under $XDG_DATA_HOME/zirv2-devserver and prints the
two addresses to give the client (ZIRV_BACKEND_URL, ZIRV_B2_AUTH_URL).

Options:
  --data-dir DIR           data folder (database and stored files)
  --host ADDRESS           address to listen on (default 127.0.0.1)
  --backend-port N         backend port (default 8780; 0 picks a free port)
  --storage-port N         storage port (default 8781; 0 picks a free port)
  --catalogue-size N       records in the generated catalogue (default 1000,
                           at most 1000000)
  --page-size N            most records per synchronisation answer (default 500)
  --key-id ID              storage key id (default: the build's key id)
  --application-key KEY    storage application key (default: the build's key)
  --application-secret S   shared secret expected at log-in and account
                           creation (default: the build's secret)
  --tls-cert FILE          serve HTTPS with this PEM certificate (needs --tls-key)
  --tls-key FILE           private key of the certificate
  --pbkdf2-iterations N    PBKDF2-HMAC-SHA256 rounds for new passwords
                           (default 100000)
  --max-body-bytes N       largest backend request body; larger ones get HTTP
                           400 (default 67108864)
  --keep-alive-seconds N   idle time before a kept-alive connection is closed
                           (default 5)
  --verbose                print one line per request
  --help                   this text

Faults (also settable at run time: POST /control/faults on the backend port,
GET /control/faults and GET /control/log to read them back):
  --latency-ms N           add N ms before every answer
  --fail-rate OP=RATE      fail that share (0 to 1) of the operation's requests
                           (HTTP 500 with a failing status, or B2's error
                           shape); OP "all" means every operation
  --fault KIND[:OP]=COUNT  inject KIND into the next COUNT requests (of OP
                           only, when given). KIND is one of:
                             http500     HTTP 500 carrying a valid answer
                                         (storage: B2's error shape)
                             nonJson     an HTML body instead of JSON
                             dropUpload  the connection dropped in the middle
                                         of a storage upload
                             stall       an answer held back for --stall-ms
                             auth21      status code 21 (authentication failed;
                                         storage: 401 expired_auth_token)
  --stall-ms N             how long a stalled answer is held (default 120000)
  --fault-seed N           seed of the failure-rate draws (default 1)

Operation names are the last part of the path: zirvAccountLogin,
zirvDefinedStructureChangesRead, ..., b2_authorize_account, b2_upload_file,
download. Every injected fault is printed as a line starting with "fault:".
)";
    return text;
}

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    ParsedOptions parsed;
    auto& o = parsed.options;
    o.dataDir = defaultDataDir();
    o.keyId = zirv::build::b2KeyId;
    o.applicationKey = zirv::build::b2ApplicationKey;
    o.applicationSecret = zirv::build::applicationSecret;

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        // Accept both "--name value" and "--name=value".
        std::string name(arg);
        bool inlineValue = false;
        if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = std::string(arg.substr(0, eq));
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto needValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= argc) {
                parsed.error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto number = [&](auto& out, int64_t min, int64_t max) -> bool {
            if (!needValue())
                return false;
            int64_t v = 0;
            if (!parseNumber(value, v) || v < min || v > max) {
                parsed.error = name + " needs a whole number from " + std::to_string(min) + " to " +
                               std::to_string(max);
                return false;
            }
            out = static_cast<std::remove_reference_t<decltype(out)>>(v);
            return true;
        };
        bool ok = true;
        if (name == "--help" || name == "-h") {
            parsed.showHelp = true;
        } else if (name == "--verbose") {
            o.verbose = true;
        } else if (name == "--data-dir") {
            ok = needValue() && (o.dataDir = std::string(value), true);
        } else if (name == "--host") {
            ok = needValue() && (o.host = std::string(value), true);
        } else if (name == "--backend-port") {
            ok = number(o.backendPort, 0, 65535);
        } else if (name == "--storage-port") {
            ok = number(o.storagePort, 0, 65535);
        } else if (name == "--catalogue-size") {
            ok = number(o.catalogueSize, 0, 1000000);
        } else if (name == "--page-size") {
            ok = number(o.pageSize, 1, 1000000);
        } else if (name == "--key-id") {
            ok = needValue() && (o.keyId = std::string(value), true);
        } else if (name == "--application-key") {
            ok = needValue() && (o.applicationKey = std::string(value), true);
        } else if (name == "--application-secret") {
            ok = needValue() && (o.applicationSecret = std::string(value), true);
        } else if (name == "--tls-cert") {
            ok = needValue() && (o.tlsCert = std::string(value), true);
        } else if (name == "--tls-key") {
            ok = needValue() && (o.tlsKey = std::string(value), true);
        } else if (name == "--pbkdf2-iterations") {
            ok = number(o.pbkdf2Iterations, 1, 10000000);
        } else if (name == "--max-body-bytes") {
            ok = number(o.maxBodyBytes, 1024, int64_t(1) << 40);
        } else if (name == "--keep-alive-seconds") {
            ok = number(o.keepAliveSeconds, 1, 3600);
        } else if (name == "--latency-ms") {
            ok = number(o.latencyMs, 0, 3600000);
        } else if (name == "--stall-ms") {
            ok = number(o.stallMs, 0, 86400000);
        } else if (name == "--fault-seed") {
            ok = number(o.faultSeed, 0, UINT32_MAX);
        } else if (name == "--fault") {
            if ((ok = needValue())) {
                Faults probe;
                if (auto fault = probe.addFromSwitch(value); !fault.empty()) {
                    parsed.error = "--fault " + std::string(value) + ": " + fault;
                    ok = false;
                } else {
                    o.faultSwitches.emplace_back(value);
                }
            }
        } else if (name == "--fail-rate") {
            if ((ok = needValue())) {
                Faults probe;
                if (auto fault = probe.setFailureRateFromSwitch(value); !fault.empty()) {
                    parsed.error = "--fail-rate " + std::string(value) + ": " + fault;
                    ok = false;
                } else {
                    o.failRateSwitches.emplace_back(value);
                }
            }
        } else {
            parsed.error = "unknown option " + std::string(arg);
            ok = false;
        }
        if (!ok) {
            if (parsed.error.empty())
                parsed.error = "bad value for " + name;
            return parsed;
        }
    }
    if (o.tlsCert.empty() != o.tlsKey.empty())
        parsed.error = "--tls-cert and --tls-key go together";
    return parsed;
}

} // namespace zirv::devserver
