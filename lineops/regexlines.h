#pragma once

#include "lineops/lineset.h"

#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace lumbrel {

enum class RegexMode
{
    Keep,    // keep the lines with a match; the others are set aside
    Remove,  // set aside the lines with a match
    Extract, // the text becomes every match, one a line; the temporary text stays
};

inline const QString NoPattern = QStringLiteral("请输入正则表达式");
inline const QString BadPattern = QStringLiteral("正则表达式有误："); // followed by RE2's reason
inline const QString ExtractTooSlow =
    QStringLiteral("正则提取用时过长，已停止，内容未改变（该表达式在长行上要反复扫描）");

// The regular expression commands. `pattern` is in RE2's syntax and is matched with RE2, whose
// time is linear in the text for every pattern; `ignoreCase` sets its case-insensitive option.
//
// Each working line (SplitListLines' rule) is matched as a text of its own, in UTF-8 (an
// unpaired surrogate reads as U+FFFD; the lines kept are the original text): a match never
// holds a line break, ^ and $ (and \A and \z) match at the line's start and end, and . never
// matches a line break. A lone LF inside a line is an ordinary character to the pattern, as
// RE2 sees it in a text of its own ((?m)^ matches after it, . does not match it).
//
// Keep keeps the lines with a match and sets the others aside; Remove sets the lines with a
// match aside; both keep the input order, `kept` and `removed` counting the two sides.
// Extract makes the text every match of every line, one a line, in order: the matches of a
// line are found left to right, each search starting where the last match ended; a match is
// taken as a whole, or, when the pattern has a capturing group, as the first group's text
// (nothing when that group took no part). An empty match gives no line and the search moves
// on one character; an empty group gives no line either. A match that starts or ends inside a
// character (\C matches single bytes) takes that whole character. `setAside` stays empty,
// `kept` is the number of lines made and `removed` the number of working lines read. Each
// search is linear in the rest of its line; a pattern that must read far ahead to settle on a
// short match (a*b|a on a long run of "a") makes Extract quadratic in the length of that line,
// while Keep and Remove stay linear for every pattern. So Extract stops once `extractLimit` has
// passed and refuses with ExtractTooSlow, the text unchanged; ExtractTimeLimit gives the limit
// the window uses, ample for every linear pattern on the text.
//
// Refusals, in this order: an empty pattern (NoPattern); a pattern RE2 rejects (BadPattern
// followed by RE2's reason, in English as RE2 gives it; a pattern whose program would need
// more than RE2's memory budget of 16 MiB is one); an empty working text (NoWorkingText). The
// meter starts at the number of lines, pulses through the search and finishes.
ListOpResult RegexLines(QStringView text,
                        QStringView pattern,
                        RegexMode mode,
                        bool ignoreCase,
                        ProgressMeter& meter,
                        std::optional<std::chrono::milliseconds> extractLimit = std::nullopt);

std::chrono::milliseconds ExtractTimeLimit(QStringView text);

} // namespace lumbrel
