#include "devserver/Faults.h"

#include <charconv>
#include <cstdio>
#include <thread>

namespace zirv::devserver {

namespace {

constexpr size_t kLogLimit = 1000;

constexpr std::pair<FaultKind, std::string_view> kNames[] = {
    {FaultKind::http500, "http500"},       {FaultKind::nonJson, "nonJson"},
    {FaultKind::dropUpload, "dropUpload"}, {FaultKind::stall, "stall"},
    {FaultKind::auth21, "auth21"},
};

template <typename Number>
bool parseNumber(std::string_view text, Number& out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseRate(std::string_view text, double& out)
{
    try {
        size_t used = 0;
        out = std::stod(std::string(text), &used);
        return used == text.size() && out >= 0.0 && out <= 1.0;
    } catch (...) {
        return false;
    }
}

} // namespace

std::string_view faultKindName(FaultKind kind)
{
    for (const auto& [k, name] : kNames)
        if (k == kind)
            return name;
    return "?";
}

std::optional<FaultKind> faultKindFromName(std::string_view name)
{
    for (const auto& [k, n] : kNames)
        if (n == name)
            return k;
    return std::nullopt;
}

Faults::Faults(uint32_t seed)
    : m_random(seed)
{
}

void Faults::setLatency(std::chrono::milliseconds latency)
{
    std::lock_guard lock(m_mutex);
    m_latency = latency;
}

void Faults::setStallDuration(std::chrono::milliseconds duration)
{
    std::lock_guard lock(m_mutex);
    m_stall = duration;
}

void Faults::setFailureRate(const std::string& operation, double rate)
{
    std::lock_guard lock(m_mutex);
    if (rate <= 0.0)
        m_rates.erase(operation);
    else
        m_rates[operation] = rate;
}

void Faults::add(FaultKind kind, int count, const std::string& operation)
{
    if (count <= 0)
        return;
    std::lock_guard lock(m_mutex);
    m_counted.push_back({kind, count, operation});
}

void Faults::reset()
{
    std::lock_guard lock(m_mutex);
    m_latency = std::chrono::milliseconds(0);
    m_rates.clear();
    m_counted.clear();
}

void Faults::reseed(uint32_t seed)
{
    std::lock_guard lock(m_mutex);
    m_random.seed(seed);
}

std::string Faults::addFromSwitch(std::string_view text)
{
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return "expected KIND[:OPERATION]=COUNT";
    auto head = text.substr(0, equals);
    int count = 0;
    if (!parseNumber(text.substr(equals + 1), count) || count < 0)
        return "the count must be a whole number";
    std::string operation;
    if (auto colon = head.find(':'); colon != std::string_view::npos) {
        operation = std::string(head.substr(colon + 1));
        head = head.substr(0, colon);
    }
    auto kind = faultKindFromName(head);
    if (!kind)
        return "unknown fault " + std::string(head);
    add(*kind, count, operation);
    return {};
}

std::string Faults::setFailureRateFromSwitch(std::string_view text)
{
    const auto equals = text.find('=');
    double rate = 0;
    if (equals == std::string_view::npos || equals == 0 || !parseRate(text.substr(equals + 1), rate))
        return "expected OPERATION=RATE with a rate from 0 to 1";
    setFailureRate(std::string(text.substr(0, equals)), rate);
    return {};
}

std::string Faults::apply(const nlohmann::json& settings)
{
    if (!settings.is_object())
        return "the settings must be a JSON object";
    if (settings.contains("reset") && settings["reset"] == true)
        reset();
    if (auto it = settings.find("latencyMs"); it != settings.end()) {
        if (!it->is_number_integer() || it->get<int64_t>() < 0)
            return "latencyMs must be a whole number";
        setLatency(std::chrono::milliseconds(it->get<int64_t>()));
    }
    if (auto it = settings.find("stallMs"); it != settings.end()) {
        if (!it->is_number_integer() || it->get<int64_t>() < 0)
            return "stallMs must be a whole number";
        setStallDuration(std::chrono::milliseconds(it->get<int64_t>()));
    }
    if (auto it = settings.find("failRate"); it != settings.end()) {
        if (!it->is_object())
            return "failRate must map operations to rates";
        for (const auto& [operation, rate] : it->items()) {
            if (!rate.is_number() || rate.get<double>() < 0 || rate.get<double>() > 1)
                return "failRate values must lie between 0 and 1";
            setFailureRate(operation, rate.get<double>());
        }
    }
    for (const auto& [kind, name] : kNames) {
        auto it = settings.find(std::string(name));
        if (it == settings.end())
            continue;
        if (it->is_number_integer()) {
            add(kind, it->get<int>());
        } else if (it->is_object() && it->contains("count") && (*it)["count"].is_number_integer()) {
            std::string operation;
            if (it->contains("operation") && (*it)["operation"].is_string())
                operation = (*it)["operation"].get<std::string>();
            add(kind, (*it)["count"].get<int>(), operation);
        } else {
            return std::string(name) + " must be a count or {\"count\":N,\"operation\":\"...\"}";
        }
    }
    return {};
}

nlohmann::json Faults::describe() const
{
    std::lock_guard lock(m_mutex);
    nlohmann::json out;
    out["latencyMs"] = m_latency.count();
    out["stallMs"] = m_stall.count();
    out["failRate"] = nlohmann::json::object();
    for (const auto& [operation, rate] : m_rates)
        out["failRate"][operation] = rate;
    out["pending"] = nlohmann::json::array();
    for (const auto& c : m_counted)
        out["pending"].push_back(
            {{"fault", faultKindName(c.kind)}, {"remaining", c.remaining}, {"operation", c.operation}});
    return out;
}

nlohmann::json Faults::log() const
{
    std::lock_guard lock(m_mutex);
    return nlohmann::json(std::vector<std::string>(m_log.begin(), m_log.end()));
}

void Faults::record(const std::string& line)
{
    std::printf("fault: %s\n", line.c_str());
    std::fflush(stdout);
    std::lock_guard lock(m_mutex);
    m_log.push_back(line);
    if (m_log.size() > kLogLimit)
        m_log.pop_front();
}

void Faults::applyLatency(std::string_view operation)
{
    std::chrono::milliseconds latency;
    {
        std::lock_guard lock(m_mutex);
        latency = m_latency;
    }
    if (latency.count() <= 0)
        return;
    record("latency " + std::to_string(latency.count()) + " ms on " + std::string(operation));
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, latency, [this] { return m_shutdown; });
}

bool Faults::take(FaultKind kind, std::string_view operation)
{
    bool hit = false;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_counted.begin(); it != m_counted.end(); ++it) {
            if (it->kind != kind || (!it->operation.empty() && it->operation != operation))
                continue;
            hit = true;
            if (--it->remaining <= 0)
                m_counted.erase(it);
            break;
        }
    }
    // A stall is logged by stall() itself, with its duration.
    if (hit && kind != FaultKind::stall)
        record(std::string(faultKindName(kind)) + " on " + std::string(operation));
    return hit;
}

bool Faults::rollFailure(std::string_view operation)
{
    double rate = 0;
    bool hit = false;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_rates.find(std::string(operation));
        if (it == m_rates.end())
            it = m_rates.find("all");
        if (it == m_rates.end())
            return false;
        rate = it->second;
        hit = std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < rate;
    }
    if (hit)
        record("failure (rate " + std::to_string(rate) + ") on " + std::string(operation));
    return hit;
}

void Faults::stall(std::string_view operation)
{
    std::unique_lock lock(m_mutex);
    const auto duration = m_stall;
    lock.unlock();
    record("stall " + std::to_string(duration.count()) + " ms on " + std::string(operation));
    lock.lock();
    m_wake.wait_for(lock, duration, [this] { return m_shutdown; });
}

void Faults::shutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
    }
    m_wake.notify_all();
}

} // namespace zirv::devserver
