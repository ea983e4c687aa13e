#include "lineops/number.h"

#include "lineops/linemodel.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace lumbrel {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Where the digits of a checked number put its most significant digit, as a power of ten;
// only its sign matters (overflow or underflow), so the exponent saturates.
long long magnitudeOf(QStringView mantissa, long long exponent)
{
    const qsizetype point = mantissa.indexOf(u'.');
    const QStringView whole = point < 0 ? mantissa : mantissa.first(point);
    qsizetype leading = 0;
    while (leading < whole.size() && whole[leading] == u'0')
        ++leading;
    if (leading < whole.size())
        return exponent + (whole.size() - leading - 1);
    const QStringView fraction = point < 0 ? QStringView() : mantissa.sliced(point + 1);
    qsizetype zeros = 0;
    while (zeros < fraction.size() && fraction[zeros] == u'0')
        ++zeros;
    return exponent - (zeros + 1);
}

// The text with the full-width forms a Chinese input method types turned into ASCII.
QString asciiForms(QStringView text)
{
    QString s = text.toString();
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u >= u'\uFF10' && u <= u'\uFF19')
            c = QChar(u'0' + (u - u'\uFF10'));
        else if (u == u'\uFF0B')
            c = u'+';
        else if (u == u'\uFF0D')
            c = u'-';
        else if (u == u'\uFF0E')
            c = u'.';
        else if (u == u'\u3000')
            c = u' ';
    }
    return s;
}

} // namespace

std::optional<double> ParseNumber(QStringView text)
{
    const QString ascii = asciiForms(text);
    const QStringView s = TrimSpaces(ascii);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    const qsizetype mantissaStart = i;
    qsizetype digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    const QStringView mantissa = s.sliced(mantissaStart, i - mantissaStart);
    long long exponent = 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
            negativeExponent = s[i] == u'-';
            ++i;
        }
        const qsizetype exponentStart = i;
        constexpr long long Saturated = std::numeric_limits<int>::max();
        while (i < s.size() && isDigit(s[i])) {
            exponent = std::min(Saturated, exponent * 10 + (s[i].unicode() - u'0'));
            ++i;
        }
        if (i == exponentStart)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != s.size())
        return std::nullopt;

    // Only ASCII is left, so the Latin-1 bytes are the number as written, minus its sign.
    const std::string bytes = s.sliced(mantissaStart).toLatin1().toStdString();
    double value = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    if (error == std::errc::result_out_of_range)
        value = magnitudeOf(mantissa, exponent) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (error != std::errc() || end != bytes.data() + bytes.size())
        return std::nullopt;
    return negative ? -value : value;
}

bool IsWholeNumber(double value)
{
    return std::floor(value) == value;
}

} // namespace lumbrel
