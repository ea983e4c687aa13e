#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

namespace lumbrel {

// The lines of a text split at every CR LF; each element views the text it came from,
// which must outlive the list.
using LineList = QList<QStringView>;

inline constexpr QStringView CrLf = u"\r\n";

// Number of lines shown in result messages: 0 when the text holds no CR LF; otherwise the
// number of LF characters (lone ones too), plus one when the text does not end with LF.
qsizetype CountLines(QStringView text);

// Removes every CR LF, CR and LF, then the spaces (U+0020 only) at both ends.
QString StripLineBreaks(QStringView text);

// Removes every CR LF, CR and LF; spaces stay.
QString RemoveLineBreaks(QStringView text);

// Splits at every CR LF: n CR LF give n + 1 lines; the empty text gives no lines.
LineList SplitLines(QStringView text);
// The lines would view a text that is gone at the end of the statement.
LineList SplitLines(QString&& text) = delete;

// Turns every lone CR and every lone LF into CR LF; CR LF pairs stay as they are.
QString NormalizeLineEnds(QString text);

// Replaces every run of `from` by `to` in one left-to-right pass over non-overlapping
// occurrences; the replacement is never scanned again.
QString ReplaceAll(QStringView text, QStringView from, QStringView to);

// The view with the U+0020 spaces at both ends removed.
QStringView TrimSpaces(QStringView text);

// Front-joining: the lines in reverse order, each followed by CR LF. `prefix` and `suffix`
// are put around every line (the keyword commands); they may be empty.
QString FrontJoin(const LineList& lines, QStringView prefix = {}, QStringView suffix = {});

// Grouped front-joining: the lines fall into groups in input order (the first holds 2000
// lines, every later full group 2001, the last what remains; no lines make one empty
// group); the result holds the groups from the last to the first, each as its lines in
// reverse order each followed by CR LF, then one more CR LF.
QString GroupedFrontJoin(const LineList& lines, QStringView prefix = {}, QStringView suffix = {});

inline constexpr qsizetype GroupSize = 2000;

} // namespace lumbrel
