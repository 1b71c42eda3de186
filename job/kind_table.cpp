#include "job/kind_table.h"

#include <atomic>
#include <mutex>

namespace {

std::vector<KindRow>& Table() {
    static std::vector<KindRow> table;
    return table;
}

// Set once the table is filled: readers on any thread see it whole or not at all.
std::atomic<bool> g_installed{false};

}  // namespace

void InstallKindTable(std::vector<KindRow> rows) {
    static std::once_flag once;
    std::call_once(once, [&rows] {
        std::vector<FileTypeReader> readers;
        for (const KindRow& row : rows) {
            if (row.fileReader.type != kTypeUnknown) {
                readers.push_back(row.fileReader);
            }
        }
        InstallFileTypeReaders(std::move(readers));
        Table() = std::move(rows);
        g_installed.store(true, std::memory_order_release);
    });
}

const std::vector<KindRow>& KindRows() {
    static const std::vector<KindRow> none;
    return g_installed.load(std::memory_order_acquire) ? Table() : none;
}

const KindRow* FindKind(MediaKind kind) {
    for (const KindRow& row : KindRows()) {
        if (row.kind == kind) {
            return &row;
        }
    }
    return nullptr;
}

const KindRow* FindKindReading(FileTypeCode type) {
    for (const KindRow& row : KindRows()) {
        if (type != kTypeUnknown && row.fileReader.type == type) {
            return &row;
        }
    }
    return nullptr;
}

std::string MediaKindText(MediaKind kind) {
    const KindRow* row = FindKind(kind);
    return row != nullptr ? row->name : "";
}

bool CopiesPackets(MediaKind kind) {
    const KindRow* row = FindKind(kind);
    return row != nullptr && row->copiesPackets;
}

bool JoinsAudioOnly(MediaKind kind) {
    const KindRow* row = FindKind(kind);
    return row != nullptr && row->joinsAudioOnly;
}
