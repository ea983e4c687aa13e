#pragma once

#include <QStringView>

#include <optional>

namespace lumbrel {

// The value of a number typed into a parameter box: optional spaces (U+0020) around it, an
// optional sign, digits with an optional "." fraction ("5." and ".5" count), and an optional
// exponent (e or E, optional sign, digits). Nothing else counts as a number: no thousands
// separators, currency signs, hexadecimal or locale commas. An empty text is no number. A
// value too large for a double becomes an infinity, one too small a zero of its sign.
std::optional<double> ParseNumber(QStringView text);

} // namespace lumbrel
