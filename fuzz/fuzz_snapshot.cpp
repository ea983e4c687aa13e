// The snapshot manifest reader: any bytes are refused or read as a manifest that names only
// files of its own folder and that writes out and reads back the same.
#include "files/snapshot.h"
#include "fuzz/fuzzinput.h"

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, static_cast<qsizetype>(std::min<std::size_t>(size, 1 << 16)));
    const std::optional<SnapshotManifest> read = ReadManifest(bytes);
    if (!read)
        return 0;
    FUZZ_CHECK(read->generation >= 1);
    FUZZ_CHECK(read->time >= 0 && read->textBytes() >= 0);
    for (auto it = read->areas.begin(); it != read->areas.end(); ++it) {
        FUZZ_CHECK(IsSnapshotAreaName(it.key()));
        // Never a path: a file of its own area, of a generation the manifest has seen.
        FUZZ_CHECK(!it->file.contains(u'/') && it->file.startsWith(it.key() + u'.'));
        const QString middle = it->file.sliced(it.key().size() + 1).chopped(4);
        bool number = false;
        const qint64 g = middle.toLongLong(&number);
        FUZZ_CHECK(number && g >= 1 && g <= read->generation);
        FUZZ_CHECK(it->file == SnapshotAreaFile(it.key(), g));
        FUZZ_CHECK(it->bytes >= 0);
    }
    const std::optional<SnapshotManifest> again = ReadManifest(WriteManifest(*read));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *read);
    return 0;
}
