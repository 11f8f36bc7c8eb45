// Registration of the library: the rows of every table, merged by their places.
#include <algorithm>

#include "script/native_table.h"
#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script {

bool RejectCount(WrongCount rule, TVar& result) {
    switch (rule) {
    case WrongCount::Fail:
        return false;
    case WrongCount::ByteZero:
        result.value = Value::Byte(0);
        return true;
    case WrongCount::EmptyResult:
        result.value = Value();
        return true;
    }
    return false;
}

std::span<const NativeRow> GeneralRows() {
    static const std::vector<NativeRow> kRows = [] {
        std::vector<NativeRow> rows;
        for (std::span<const NativeRow> part :
             {lib::StringRows(), lib::DateRows(), lib::MathRows(), lib::VariableRows()}) {
            rows.insert(rows.end(), part.begin(), part.end());
        }
        std::stable_sort(rows.begin(), rows.end(),
                         [](const NativeRow& a, const NativeRow& b) { return a.place < b.place; });
        return rows;
    }();
    return kRows;
}

LibraryEntry GeneralEntry(const NativeRow& row) {
    if (!row.routine) {
        return {row.name, row.place, {}};
    }
    return {row.name, row.place, CountChecked(row, NativeRoutine(row.routine))};
}

void RegisterLibrary(
    TPasCalc& calc, const std::vector<LibraryEntry>& engine,
    const std::vector<std::pair<std::string_view, NativeRoutine>>& titleProcedures) {
    std::vector<LibraryEntry> entries;
    entries.reserve(GeneralRows().size() + engine.size());
    for (const NativeRow& row : GeneralRows()) {
        entries.push_back(GeneralEntry(row));
    }
    entries.insert(entries.end(), engine.begin(), engine.end());
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const LibraryEntry& a, const LibraryEntry& b) { return a.place < b.place; });
    for (LibraryEntry& entry : entries) {
        if (entry.routine) {
            calc.SetFunction(entry.name, std::move(entry.routine));
        }
    }
    for (const auto& [name, routine] : titleProcedures) {
        if (routine) {
            calc.SetFunction(name, routine);
        }
    }
}

} // namespace kq::script
