// RemoveAllKeywords and RegexLines: the lines kept and set aside are the input lines, each on
// the side its test says. Keywords are checked against 去包含's rule written out (folded forms,
// QStringView::contains), both layouts of the automaton against each other; the regular
// expression commands against RE2 run on each line alone.
#include "fuzz/fuzzinput.h"
#include "lineops/keywords.h"
#include "lineops/regexlines.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <re2/re2.h>
#include <string>

using namespace lumbrel;

namespace {

QStringList listLines(const QString& text)
{
    QStringList lines;
    for (QStringView v : SplitListLines(text))
        lines.append(v.toString());
    return lines;
}

// Every result is lines each followed by CR LF.
QStringList resultLines(const QString& text)
{
    FUZZ_CHECK(text.isEmpty() || text.endsWith(CrLf));
    return listLines(text);
}

// The input lines parted by `test`, in order, against what the command kept and set aside.
template <typename Test> void checkParted(const QStringList& input, const ListOpResult& r, Test keeps)
{
    QStringList kept;
    QStringList aside;
    for (const QString& line : input)
        (keeps(line) ? kept : aside).append(line);
    FUZZ_CHECK(resultLines(r.text) == kept);
    FUZZ_CHECK(resultLines(r.setAside.value_or(QString())) == aside);
    FUZZ_CHECK(r.kept == kept.size() && r.removed == aside.size());
}

std::string utf8(const QString& s)
{
    QString clean = s;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        if (clean[i].isHighSurrogate() && i + 1 < clean.size() && clean[i + 1].isLowSurrogate())
            ++i;
        else if (clean[i].isSurrogate())
            clean[i] = QChar(0xFFFD);
    }
    return clean.toStdString();
}

void checkKeywords(const QString& text, const QString& list, LineFolds folds)
{
    NullProgressMeter meter;
    const QStringList keywords = BatchKeywords(list);
    for (const QString& k : keywords)
        FUZZ_CHECK(!k.isEmpty() && !k.contains(CrLf) && !k.contains(u"##"));
    const ListOpResult r = RemoveAllKeywords(text, list, folds, meter);
    if (text.isEmpty()) {
        FUZZ_CHECK(r.refusal == NoWorkingText);
        return;
    }
    if (keywords.isEmpty()) {
        FUZZ_CHECK(r.refusal == NoKeywords);
        return;
    }
    const LineFolds unitFolds = folds & (LineFold::Case | LineFold::Width);
    QStringList folded;
    for (const QString& k : keywords)
        folded.append(FoldLine(k, unitFolds));
    const QList<QStringView> views(keywords.begin(), keywords.end());
    const KeywordSet hashed(views, folds, 0);
    checkParted(listLines(text), r, [&](const QString& line) {
        const QString f = FoldLine(line, unitFolds);
        const bool found = std::any_of(folded.begin(), folded.end(), [&](const QString& k) { return f.contains(k); });
        FUZZ_CHECK(hashed.foundIn(line) == found);
        return !found;
    });
}

void checkRegex(const QString& text, const QString& pattern, bool ignoreCase)
{
    NullProgressMeter meter;
    RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(!ignoreCase);
    options.set_max_mem(std::int64_t{16} << 20);
    const RE2 re(utf8(pattern), options);
    for (RegexMode mode : {RegexMode::Keep, RegexMode::Remove, RegexMode::Extract}) {
        const ListOpResult r = RegexLines(text, pattern, mode, ignoreCase, meter);
        if (pattern.isEmpty()) {
            FUZZ_CHECK(r.refusal == NoPattern);
            continue;
        }
        if (!re.ok()) {
            FUZZ_CHECK(r.refusal == BadPattern + QString::fromStdString(re.error()));
            continue;
        }
        if (text.isEmpty()) {
            FUZZ_CHECK(r.refusal == NoWorkingText);
            continue;
        }
        FUZZ_CHECK(!r.refused());
        if (mode == RegexMode::Extract) {
            // Pieces of lines: never empty, never a line break; the temporary text stays.
            FUZZ_CHECK(!r.setAside.has_value());
            for (const QString& piece : resultLines(r.text))
                FUZZ_CHECK(!piece.isEmpty() && !piece.contains(CrLf));
            FUZZ_CHECK(r.removed == listLines(text).size());
            continue;
        }
        checkParted(listLines(text), r, [&](const QString& line) {
            return RE2::PartialMatch(utf8(line), re) == (mode == RegexMode::Keep);
        });
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    const LineFolds folds = LineFolds::fromInt(mode & 7);
    QString list = in.takeText(48);
    QString pattern = in.takeText(12);
    QString text = in.rest();
    if (mode & 8) {
        // Few letters: keywords that are prefixes and suffixes of each other, and matches.
        text = fuzz::narrowed(text, u"aAａb#\r\n\r\n\r\n\n\r\xD801\xDC00");
        list = fuzz::narrowed(list, u"aAａb#\r\n\r\n\n\xD801");
    }
    if (mode & 16)
        pattern = fuzz::narrowed(pattern, u"ab.*+?|()[]^$\\Ans{}2,");
    checkKeywords(text, list, folds);
    // RE2's automata take a while to build: short texts for the regular expressions.
    if (text.size() <= 4096)
        checkRegex(text, pattern, (mode & 32) != 0);
    return 0;
}
