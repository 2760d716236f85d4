#pragma once
// The generated catalogue: nineteen lists whose records are a pure function of
// (table, index), so that the same size always gives the same catalogue and
// nothing but an ordering index is kept in memory. References always point at
// records that exist in the parent table. Every record carries a change
// counter from the server's one sequence; a read answers, per table, the
// records whose counter lies after the marker the client sent.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zirv::devserver {

struct CatalogueTable {
    int syncIdentifier; // 0 for the two video tables, which clients never report
    std::string_view listName;
    std::string_view recordName;
};

// The nineteen lists in answer order.
const std::vector<CatalogueTable>& catalogueTables();

class Catalogue {
public:
    // `size` records in all; counters start at `firstCounter`.
    Catalogue(int64_t size, int64_t firstCounter);

    int64_t size() const { return m_size; }
    // The highest counter handed out so far.
    int64_t lastCounter() const;
    int64_t count(int syncIdentifier) const;

    struct Page {
        int returned = 0;
        bool moreDataAvailable = false;
    };
    // Adds to `answer` (a complete zirvChangesOutput) the records changed after
    // each table's marker (a table without a marker counts from 0), tables in
    // answer order, at most `pageSize` records.
    Page fill(nlohmann::json& answer, const std::unordered_map<int, int64_t>& markers, int pageSize) const;

    // One record by table and key (1-based), as sent.
    nlohmann::json record(int syncIdentifier, int64_t key) const;

    // Gives `howMany` records of the table new counters, taken from
    // `nextCounter`, as if they had been edited. Answers how many changed.
    template <typename NextCounter>
    int touch(int syncIdentifier, int howMany, NextCounter nextCounter)
    {
        std::unique_lock lock(m_mutex);
        auto* t = table(syncIdentifier);
        if (!t || t->order.empty())
            return 0;
        int done = 0;
        for (; done < howMany && done < static_cast<int>(t->order.size()); ++done) {
            auto entry = t->order.front();
            t->order.erase(t->order.begin());
            entry.counter = nextCounter();
            t->order.push_back(entry);
            m_lastCounter = std::max(m_lastCounter, entry.counter);
        }
        return done;
    }

    // The audio or choreography definition an uploaded file is matched to:
    // the one named "Track N" / "Choreography N" when the title says so, else
    // one chosen by the file's checksum. 0 when the table is empty.
    int64_t audioDefinitionFor(std::string_view title, std::string_view hashCode) const;
    int64_t choreographyDefinitionFor(std::string_view title, std::string_view hashCode) const;

private:
    struct Entry {
        int64_t counter;
        uint32_t index;
    };
    struct Table {
        int position; // in catalogueTables()
        int64_t count = 0;
        std::vector<Entry> order; // ascending counter
    };

    Table* table(int syncIdentifier);
    const Table* table(int syncIdentifier) const;
    nlohmann::json make(int position, uint32_t index, int64_t counter) const;
    int64_t countAt(int position) const { return m_tables[position].count; }
    int64_t pick(int parentPosition, uint64_t seed) const;

    int64_t m_size;
    int64_t m_lastCounter;
    std::vector<Table> m_tables;
    mutable std::shared_mutex m_mutex;
};

} // namespace zirv::devserver
