#pragma once
// Declaring a wire record: a plain struct, then one line naming its members.
//
//     struct commonDatabaseErrors {
//         int32_t errorCode = 0;
//         QString errorMessage;
//     };
//     ZIRV_WIRE_RECORD(commonDatabaseErrors, errorCode, errorMessage)
//
// The line gives the generic codec (WireCodec.h) the JSON member names, in
// the order they are written, and the C++ members behind them. Member types
// the codec knows: bool, int16_t, int32_t, int64_t, float, QString, QUuid,
// another wire record, and std::vector of any of these. The JSON name of a
// member is its C++ name.
//
// The line goes in the namespace of the record (the codec finds it by
// argument-dependent lookup).

#include "backend/wire/ForEach.h"

#include <cstddef>
#include <string_view>
#include <tuple>

namespace zirv::wire {

template <class Record, class Type>
struct Member {
    std::string_view name;
    Type Record::*pointer;
};

template <class Record, class Type>
constexpr Member<Record, Type> member(std::string_view name, Type Record::*pointer)
{
    return {name, pointer};
}

template <class Tuple>
struct RecordTable {
    std::string_view name;
    Tuple members;
};

template <class Tuple>
RecordTable(std::string_view, Tuple) -> RecordTable<Tuple>;

// Whether T was declared with ZIRV_WIRE_RECORD.
template <class T>
concept WireRecord = requires { zirvWireTable(static_cast<const T*>(nullptr)); };

template <WireRecord T>
constexpr auto tableOf()
{
    return zirvWireTable(static_cast<const T*>(nullptr));
}

} // namespace zirv::wire

#define ZIRV_WIRE_MEMBER_(m) ::zirv::wire::member(#m, &ZirvWireRecord_::m)

#define ZIRV_WIRE_RECORD(Record, ...)                                                          \
    [[maybe_unused]] constexpr auto zirvWireTable(const Record*)                               \
    {                                                                                          \
        using ZirvWireRecord_ = Record;                                                        \
        return ::zirv::wire::RecordTable{#Record,                                              \
                                         std::make_tuple(ZIRV_WIRE_FOR_EACH(ZIRV_WIRE_MEMBER_, \
                                                                            __VA_ARGS__))};    \
    }
