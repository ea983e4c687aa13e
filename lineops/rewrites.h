#pragma once

#include "lineops/lineop.h"
#include "lineops/progressmeter.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace lumbrel {

// The replace commands work on the whole text as one string: no lines, no meter, no refusal.
// Each is one ReplaceAll, linear in the text and the search text for any of them.
// Each gives back the cleaned parameters, which the window shows in their boxes.
struct ReplaceResult
{
    QString text;
    QString search;
    QString replacement;
};

// "去掉→": removes every occurrence of `search` with its line breaks removed (spaces stay).
ReplaceResult RemoveText(QStringView text, QStringView search);

// "替换成": replaces every occurrence of `search` by `replacement`, both cleaned with
// StripLineBreaks (so outer spaces go).
ReplaceResult ReplaceText(QStringView text, QStringView search, QStringView replacement);

// "替换成 vbcrlf": replaces every occurrence of `search`, its line breaks removed (spaces
// stay), by CR LF.
ReplaceResult BreakAtText(QStringView text, QStringView search);

// A line command with a parameter box: its result, and the cleaned text the box then shows
// (none when the box stays as it was).
struct BoxedOpResult
{
    LineOpResult result;
    std::optional<QString> box;
};

enum class KeywordSide
{
    Front,
    Back
};

// "每行前面加关键词→" / "←关键词加在每行后面": refuses a text without CR LF (the box is not
// cleaned then). Otherwise every line is cleaned with StripLineBreaks, empty ones are
// dropped, and the keyword (cleaned the same way) is joined at the front or the back; the
// lines come out grouped front-joined. The meter counts the lines left after runs of empty
// lines are shortened (three line breaks to one, then two to one, one pass each) and steps
// once per such line, dropped ones too.
BoxedOpResult AddKeyword(QStringView text, QStringView keyword, KeywordSide side, ProgressMeter& meter);

enum class MarkerPiece
{
    Before, // piece 0
    After   // piece 1
};

// "留前" / "留后": the marker is cleaned with StripLineBreaks first, even when the command is
// then refused for a text without CR LF. A line holding the marker is cut at its
// non-overlapping occurrences and gives the piece before the first occurrence, or the piece
// between the first and the second (or the end); other lines stay as they are. An empty
// marker keeps every line whole. Front-joined; the meter steps once per line. Linear in the
// text and the marker for any of them.
BoxedOpResult KeepPiece(QStringView text, QStringView marker, MarkerPiece piece, ProgressMeter& meter);

enum class LineEnd
{
    Left,
    Right
};

// "取左位数" / "取右位数": the count is cleaned with StripLineBreaks first, even when the
// command is then refused; refusals in order: no CR LF, then a count that is no number.
// Every line is cleaned with StripLineBreaks; when the count is below its length the first
// or last N units stay, N the count rounded to the nearest integer, ties to even (a negative
// N counts as 0). Front-joined; the meter steps once per line.
BoxedOpResult TakeChars(QStringView text, QStringView count, LineEnd end, ProgressMeter& meter);

// The count of characters TakeChars cuts for a numeric value: rounded to the nearest integer
// with ties to even, limited to 0 .. 2^31 - 1.
qsizetype CutLength(double value);

} // namespace lumbrel
