#pragma once

// Piece 1 of 去重复's search (the map is in dedup.cpp): what it knows of the lines before it scans
// them. Two cores build it at once. One hashes every line, publishing the hashes as it goes,
// and then builds what depends on the contents alone (HashContents); the other finds each
// line's first occurrence from those hashes as they come (FindFirstOccurrences). Both parts of
// the scan only read it.

#include "lineops/deduptables.h"
#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <atomic>
#include <vector>

namespace lumbrel::dedup {

// Every distinct non-empty line content is a pattern, named by its first line.
struct PatternIndex
{
    // Sizes everything from the line lengths; the two builders fill it.
    explicit PatternIndex(const LineList& lines);

    // The filter key of line f when it is a short first occurrence, else 0.
    uint64_t shortKey(uint32_t f) const
    {
        const QStringView line = lines[f];
        if (first[f] != f || line.size() >= AnchorLength || line.isEmpty())
            return 0;
        return filterKeyOf(hashes[f], line.size());
    }
    // The number of short first occurrences after line `from`.
    std::size_t shortsAfter(uint32_t from) const;

    const LineList& lines;

    // From the lengths alone (the constructor).
    std::size_t units = 0;     // all lines'
    std::size_t longLines = 0; // of AnchorLength units or more
    // No window is longer: a window is as long as some pattern, so no longer than the longest
    // length below the longest, or as long as the longest lines, which fits only as one of them
    // whole, never looked for. So a few huge lines among short ones need no power (nor prefix)
    // a unit of theirs.
    qsizetype powCap = AnchorLength;
    std::vector<uint64_t> pow; // Base^m for every window length m up to powCap

    // The hashing core's (HashContents).
    std::vector<uint64_t> hashes;                                        // each line's
    std::vector<bool> singles = std::vector<bool>(std::size_t{1} << 16); // the units that are a line
    BitFilter longBits;                                                  // the long patterns' keys
    BitFilter anchorBits;                                                // their anchor keys
    FlatMap<true> anchors{64};                                           // anchor key -> group
    std::vector<uint32_t> groupStart;    // each group's first length in groupLengths, and the end
    std::vector<qsizetype> groupLengths; // each group's distinct lengths, ascending
    bool anyBreak = false;               // some line holds a CR or LF

    // The finding core's (FindFirstOccurrences).
    std::vector<uint32_t> first; // the first line with the content of each line (NoLine: empty)
    FlatMap<false> patterns;     // content key -> first line
    std::vector<char> chained;   // a pattern whose key met another content's: look on
    std::size_t distinctUnits = 0;
    std::size_t distinctCount = 0;
    std::size_t quadCount = 0; // patterns of four units or more
};

// Hashes every line, storing `hashed` (release) every few lines with how many are done, then
// groups the long patterns by anchor and fills the filters and the one-unit lines. Every unit
// passes here once: the check for line breaks inside lines comes free.
void HashContents(PatternIndex& index, std::atomic<uint32_t>& hashed);

// Fills `first` and the patterns map from the hashes as `hashed` (acquire) says they come;
// runs beside HashContents. The meter's pulse shows the first quarter of the bar.
void FindFirstOccurrences(PatternIndex& index, const std::atomic<uint32_t>& hashed, ProgressMeter& meter);

// The key of a content on its chain after `key`, when the content at `key` is another.
inline uint64_t nextOnChain(uint64_t key)
{
    return mix(key, ChainSalt);
}

} // namespace lumbrel::dedup
