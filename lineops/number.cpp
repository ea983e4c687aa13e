#include "lineops/number.h"

#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace lumbrel {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<double> ParseNumber(QStringView text)
{
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && text[i] == u' ')
        ++i;
    while (end > i && text[end - 1] == u' ')
        --end;

    // Checked by hand: std::from_chars takes no leading "+", and strtod would follow the
    // process locale's decimal point.
    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::string plain;
    plain.reserve(static_cast<std::size_t>(end - i));
    qsizetype intDigits = 0;
    qsizetype fracDigits = 0;
    while (i < end && isDigit(text[i])) {
        plain.push_back(static_cast<char>(text[i].unicode()));
        ++intDigits;
        ++i;
    }
    if (i < end && text[i] == u'.') {
        plain.push_back('.');
        ++i;
        while (i < end && isDigit(text[i])) {
            plain.push_back(static_cast<char>(text[i].unicode()));
            ++fracDigits;
            ++i;
        }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    // Decimal exponent of the leading significant digit, for values out of the double range.
    qsizetype leading = 0;
    bool allZero = true;
    for (char c : plain) {
        if (c == '.')
            continue;
        if (c != '0') {
            allZero = false;
            break;
        }
        ++leading;
    }
    long long exponent = 0;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        plain.push_back('e');
        ++i;
        bool expNegative = false;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            expNegative = text[i] == u'-';
            plain.push_back(static_cast<char>(text[i].unicode()));
            ++i;
        }
        const qsizetype expStart = i;
        while (i < end && isDigit(text[i])) {
            plain.push_back(static_cast<char>(text[i].unicode()));
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
            ++i;
        }
        if (i == expStart)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != end)
        return std::nullopt;

    const double sign = negative ? -1.0 : 1.0;
    if (allZero)
        return sign * 0.0;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        const long long magnitude = exponent + static_cast<long long>(intDigits) - static_cast<long long>(leading);
        return magnitude > 0 ? sign * std::numeric_limits<double>::infinity() : sign * 0.0;
    }
    if (ec != std::errc() || ptr != plain.data() + plain.size())
        return std::nullopt;
    return sign * value;
}

} // namespace lumbrel
