#include "memorytrim.h"

#include <QFile>
#include <QList>
#include <QPixmapCache>

#include <malloc.h>
#include <sys/mman.h>

namespace memorytrim {

QList<Mapping> parseSmaps(const QByteArray &smaps)
{
    QList<Mapping> mappings;
    Mapping *current = nullptr;
    bool fileBacked = false;
    bool readOnly = false;
    for (const QByteArray &line : smaps.split('\n')) {
        if (line.isEmpty())
            continue;
        // A mapping's header: "start-end perms offset dev inode [path]".
        const qsizetype dash = line.indexOf('-');
        const qsizetype space = line.indexOf(' ');
        bool isHeader = dash > 0 && space > dash;
        std::uintptr_t start = 0, end = 0;
        if (isHeader) {
            bool okStart = false, okEnd = false;
            start = line.left(dash).toULongLong(&okStart, 16);
            end = line.mid(dash + 1, space - dash - 1).toULongLong(&okEnd, 16);
            isHeader = okStart && okEnd;
        }
        if (isHeader) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            const QByteArray perms = fields.value(1);
            const QByteArray path = fields.size() > 5 ? fields.value(5) : QByteArray();
            readOnly = perms.size() >= 2 && perms[1] == '-';
            fileBacked = path.startsWith('/') && fields.value(4) != "0";
            mappings.append({start, end, false});
            current = &mappings.last();
            // Without the Anonymous line nothing is known of private copies.
            continue;
        }
        if (current && line.startsWith("Anonymous:")) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            current->droppable = readOnly && fileBacked && fields.value(1) == "0";
        }
    }
    return mappings;
}

std::size_t giveBack()
{
    ::malloc_trim(0);
    QPixmapCache::clear();

    QFile file(QStringLiteral("/proc/self/smaps"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    std::size_t released = 0;
    for (const Mapping &m : parseSmaps(file.readAll())) {
        // A read-only mapping without private copies holds nothing
        // but the file's pages: dropping them loses no data.
        if (!m.droppable || m.end <= m.start)
            continue;
        if (::madvise(reinterpret_cast<void *>(m.start), m.end - m.start, MADV_DONTNEED) == 0)
            released += m.end - m.start;
    }
    return released;
}

} // namespace memorytrim
