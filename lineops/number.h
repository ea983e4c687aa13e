#pragma once

#include <QStringView>

#include <optional>

namespace lumbrel {

// The numbers typed into the parameter boxes: optional U+0020 spaces around, an optional
// sign, ASCII digits with an optional "." fraction (at least one digit on either side of
// the point) and an optional exponent ("e" or "E", optional sign, digits). The full-width
// digits, sign and point (U+FF10..U+FF19, U+FF0B, U+FF0D, U+FF0E) and the ideographic space
// U+3000, which Chinese input methods type, count as their ASCII forms. Nothing else is
// accepted: no thousands separators, no locale decimal comma, no hexadecimal, no "inf".
// Values beyond the range of a double become an infinity, values too small to hold become
// zero, as the usual decimal conversion does. The reading does not depend on the locale.
std::optional<double> ParseNumber(QStringView text);

// True when `value` is a whole number (its floor is itself); infinities count as whole.
bool IsWholeNumber(double value);

} // namespace lumbrel
