#pragma once

#include <QByteArray>

#include <cstdint>

// Gives memory the windows no longer use back to the system: the allocator's
// free pages, Qt's pixmap cache, and this process's hold on the pages of
// read-only file mappings (library code and fonts read while drawing). Those
// pages stay in the system's page cache; the next use maps them again with a
// minor fault.
namespace memorytrim {

struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool droppable = false; // read-only, backed by a file, no private copies
};

// The mappings of an smaps listing (/proc/self/smaps), in order.
QList<Mapping> parseSmaps(const QByteArray &smaps);

// Returns the number of bytes whose pages were released from file mappings.
std::size_t giveBack();

} // namespace memorytrim
