#pragma once
// The one JSON codec of the wire records, derived from their declarations
// (WireRecord.h).
//
// Writing gives every member under its name; UUIDs in upper case.
// Reading is strict: every declared member must be present, none may be null,
// each must have its JSON type (an integer member takes only a JSON integer
// within the member's width, a float member any number that fits), UUIDs must
// be in the 36-character form with hyphens (either case). Members that are not
// declared are ignored. Any breach makes the whole text undecodable, and the
// result says which member broke it.

#include "backend/wire/WireRecord.h"

#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zirv::wire {

// A decoded record, or why the text did not decode.
template <class T>
struct DecodeResult {
    std::optional<T> value;
    std::string error;

    explicit operator bool() const { return value.has_value(); }
};

// --- helpers shared by all records (WireCodec.cpp) ---

// Upper-case canonical form, e.g. "5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95".
std::string uuidText(const QUuid& uuid);
// Reads the canonical 36-character form in either case; nothing else.
std::optional<QUuid> parseUuid(std::string_view text);
// The JSON number written for a float: its shortest decimal form.
nlohmann::json floatJson(float value);

namespace detail {

template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {};

template <class T>
inline constexpr bool alwaysFalse = false;

// ------------------------------------------------------------------ writing

template <class T>
nlohmann::json toJson(const T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        return value;
    } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>
                         || std::is_same_v<T, int64_t>) {
        return static_cast<int64_t>(value);
    } else if constexpr (std::is_same_v<T, float>) {
        return floatJson(value);
    } else if constexpr (std::is_same_v<T, QString>) {
        return value.toStdString();
    } else if constexpr (std::is_same_v<T, QUuid>) {
        return uuidText(value);
    } else if constexpr (IsVector<T>::value) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& element : value)
            array.push_back(toJson(element));
        return array;
    } else if constexpr (WireRecord<T>) {
        nlohmann::json object = nlohmann::json::object();
        constexpr auto table = tableOf<T>();
        std::apply(
            [&](const auto&... members) {
                ((object[std::string(members.name)] = toJson(value.*(members.pointer))), ...);
            },
            table.members);
        return object;
    } else {
        static_assert(alwaysFalse<T>, "not a wire type");
    }
}

// ------------------------------------------------------------------ reading

// Every reader answers false and fills `error` on a breach.

template <class T>
bool read(simdjson::ondemand::value value, T& out, std::string& error);

template <WireRecord T>
bool readObject(simdjson::ondemand::object object, T& out, std::string& error);

inline bool fail(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

inline std::string typeProblem(simdjson::error_code code, std::string_view expected)
{
    if (code == simdjson::INCORRECT_TYPE)
        return "is null or not " + std::string(expected);
    if (code == simdjson::NUMBER_OUT_OF_RANGE)
        return "is out of range";
    return std::string("is malformed (") + simdjson::error_message(code) + ")";
}

template <class T>
bool read(simdjson::ondemand::value value, T& out, std::string& error)
{
    if constexpr (std::is_same_v<T, bool>) {
        if (const auto code = value.get_bool().get(out))
            return fail(error, typeProblem(code, "a Boolean"));
        return true;
    } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>
                         || std::is_same_v<T, int64_t>) {
        int64_t number = 0;
        if (const auto code = value.get_int64().get(number))
            return fail(error, typeProblem(code, "an integer"));
        if (number < std::numeric_limits<T>::min() || number > std::numeric_limits<T>::max())
            return fail(error, "is out of range (" + std::to_string(number) + ")");
        out = static_cast<T>(number);
        return true;
    } else if constexpr (std::is_same_v<T, float>) {
        double number = 0;
        if (const auto code = value.get_double().get(number))
            return fail(error, typeProblem(code, "a number"));
        if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max())
            return fail(error, "is out of range");
        out = static_cast<float>(number);
        return true;
    } else if constexpr (std::is_same_v<T, QString>) {
        std::string_view text;
        if (const auto code = value.get_string().get(text))
            return fail(error, typeProblem(code, "a string"));
        out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        return true;
    } else if constexpr (std::is_same_v<T, QUuid>) {
        std::string_view text;
        if (const auto code = value.get_string().get(text))
            return fail(error, typeProblem(code, "a UUID string"));
        const auto uuid = parseUuid(text);
        if (!uuid)
            return fail(error, "is not a UUID (\"" + std::string(text.substr(0, 40)) + "\")");
        out = *uuid;
        return true;
    } else if constexpr (IsVector<T>::value) {
        simdjson::ondemand::array array;
        if (const auto code = value.get_array().get(array))
            return fail(error, typeProblem(code, "an array"));
        out.clear();
        size_t index = 0;
        for (auto element : array) {
            simdjson::ondemand::value item;
            if (const auto code = element.get(item))
                return fail(error, typeProblem(code, "an array"));
            out.emplace_back();
            if (!read(item, out.back(), error)) {
                error = "[" + std::to_string(index) + "] " + error;
                return false;
            }
            ++index;
        }
        return true;
    } else if constexpr (WireRecord<T>) {
        simdjson::ondemand::object object;
        if (const auto code = value.get_object().get(object))
            return fail(error, typeProblem(code, "an object"));
        return readObject(object, out, error);
    } else {
        static_assert(alwaysFalse<T>, "not a wire type");
    }
}

template <WireRecord T, size_t... I>
bool readMember(size_t index, simdjson::ondemand::value value, T& out, std::string& error,
                std::index_sequence<I...>)
{
    constexpr auto table = tableOf<T>();
    bool ok = true;
    ((index == I ? (ok = read(value, out.*(std::get<I>(table.members).pointer), error), true)
                 : false)
     || ...);
    return ok;
}

template <WireRecord T>
bool readObject(simdjson::ondemand::object object, T& out, std::string& error)
{
    static constexpr auto table = tableOf<T>();
    static constexpr size_t count = std::tuple_size_v<decltype(table.members)>;
    static constexpr auto names = std::apply(
        [](const auto&... members) { return std::array<std::string_view, count>{members.name...}; },
        table.members);

    std::bitset<count> seen;
    size_t expected = 0; // members usually arrive in declaration order
    for (auto field : object) {
        std::string_view key;
        if (const auto code = field.unescaped_key().get(key))
            return fail(error, std::string(table.name) + " " + typeProblem(code, "an object"));
        size_t index = count;
        if (expected < count && names[expected] == key) {
            index = expected;
        } else {
            for (size_t i = 0; i < count; ++i)
                if (names[i] == key) {
                    index = i;
                    break;
                }
        }
        if (index == count)
            continue; // not ours: skipped
        simdjson::ondemand::value value;
        if (const auto code = field.value().get(value))
            return fail(error, std::string(table.name) + "." + std::string(key) + " "
                                   + typeProblem(code, "a value"));
        if (!readMember(index, value, out, error, std::make_index_sequence<count>{})) {
            error = std::string(table.name) + "." + std::string(names[index]) + " " + error;
            return false;
        }
        seen.set(index);
        expected = index + 1;
    }
    if (!seen.all()) {
        for (size_t i = 0; i < count; ++i)
            if (!seen.test(i))
                return fail(error, std::string(table.name) + "." + std::string(names[i]) + " is missing");
    }
    return true;
}

} // namespace detail

// The record as a JSON value.
template <WireRecord T>
nlohmann::json toJson(const T& record)
{
    return detail::toJson(record);
}

// The record as JSON text; none only if the JSON library refuses it.
template <WireRecord T>
std::optional<std::string> encode(const T& record)
{
    try {
        return detail::toJson(record).dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

// Reads a whole text as one record. The text must be one JSON object and
// nothing else.
template <WireRecord T>
DecodeResult<T> decode(const simdjson::padded_string_view& text)
{
    thread_local simdjson::ondemand::parser parser;
    DecodeResult<T> result;
    simdjson::ondemand::document document;
    if (const auto code = parser.iterate(text).get(document)) {
        result.error = std::string("The data is not JSON: ") + simdjson::error_message(code);
        return result;
    }
    simdjson::ondemand::object object;
    if (const auto code = document.get_object().get(object)) {
        result.error = std::string(tableOf<T>().name) + " is not a JSON object ("
                       + simdjson::error_message(code) + ")";
        return result;
    }
    // The reader stops at the object's closing brace; anything but white
    // space after it ("{...}}" or a second object) makes the text no answer.
    // A skim over the object finds its end, then the real reading starts over.
    std::string_view whole;
    if (const auto code = object.raw_json().get(whole)) {
        result.error = std::string(tableOf<T>().name) + " is malformed (" + simdjson::error_message(code) + ")";
        return result;
    }
    const size_t end = static_cast<size_t>(whole.data() - text.data()) + whole.size();
    if (std::string_view(text.data(), text.length()).find_first_not_of(" \t\r\n", end) != std::string_view::npos) {
        result.error = "The data goes on after the JSON object";
        return result;
    }
    document.rewind();
    if (const auto code = document.get_object().get(object)) {
        result.error = std::string(tableOf<T>().name) + " is not a JSON object ("
                       + simdjson::error_message(code) + ")";
        return result;
    }
    T record{};
    if (!detail::readObject(object, record, result.error))
        return result;
    result.value = std::move(record);
    return result;
}

template <WireRecord T>
DecodeResult<T> decode(std::string_view text)
{
    const simdjson::padded_string padded(text);
    return decode<T>(simdjson::padded_string_view(padded));
}

} // namespace zirv::wire
