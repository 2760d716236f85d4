#pragma once
// Faults injected on demand, from command-line switches or the control
// endpoint: added latency, a failure rate per operation, and counted faults
// (an HTTP 500 with a valid body, a body that is not JSON, a connection
// dropped in the middle of an upload, a stalled answer, code 21) that hit the
// next N requests of an operation or of any operation. Every injected fault is
// printed and kept in a log the control endpoint answers.

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace zirv::devserver {

enum class FaultKind { http500, nonJson, dropUpload, stall, auth21 };

std::string_view faultKindName(FaultKind kind);
std::optional<FaultKind> faultKindFromName(std::string_view name);

class Faults {
public:
    explicit Faults(uint32_t seed = 1);

    void setLatency(std::chrono::milliseconds latency);
    void setStallDuration(std::chrono::milliseconds duration);
    // Rate in [0, 1]; operation "all" applies to every operation.
    void setFailureRate(const std::string& operation, double rate);
    // The next `count` requests of `operation` (empty: any) get the fault.
    void add(FaultKind kind, int count, const std::string& operation = {});
    void reset();
    void reseed(uint32_t seed);

    // A command-line switch value: "KIND[:OPERATION]=COUNT". Empty on success.
    std::string addFromSwitch(std::string_view text);
    // A failure-rate switch value: "OPERATION=RATE". Empty on success.
    std::string setFailureRateFromSwitch(std::string_view text);
    // The control endpoint's JSON. Empty on success, else the fault.
    std::string apply(const nlohmann::json& settings);
    nlohmann::json describe() const;
    nlohmann::json log() const;

    // Sleeps for the configured latency (logged when not zero).
    void applyLatency(std::string_view operation);
    // Consumes one pending fault of the kind that matches the operation.
    bool take(FaultKind kind, std::string_view operation);
    // Draws against the operation's failure rate.
    bool rollFailure(std::string_view operation);
    // Holds the calling request for the stall duration, or until shutdown.
    void stall(std::string_view operation);
    // Releases every stalled request; later stalls return at once.
    void shutdown();

    void record(const std::string& line);

private:
    struct Counted {
        FaultKind kind;
        int remaining;
        std::string operation;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_shutdown = false;
    std::chrono::milliseconds m_latency{0};
    std::chrono::milliseconds m_stall{std::chrono::seconds(120)};
    std::map<std::string, double> m_rates;
    std::vector<Counted> m_counted;
    std::mt19937 m_random;
    std::deque<std::string> m_log;
};

} // namespace zirv::devserver
