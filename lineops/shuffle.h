#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <random>

namespace lumbrel {

// Uniform values in [0, 1); the shuffle draws from it so tests can hand it a fixed sequence.
class UniformSource
{
public:
    UniformSource() = default;
    UniformSource(const UniformSource&) = delete;
    UniformSource& operator=(const UniformSource&) = delete;
    virtual ~UniformSource() = default;

    virtual double next() = 0;
};

// A 64-bit Mersenne Twister; each value takes the top 53 bits, so 1.0 can never come out.
class TwisterSource final : public UniformSource
{
public:
    explicit TwisterSource(std::uint64_t seed);

    // Seeded from the time of day: seconds since midnight, with their fraction.
    static TwisterSource fromTimeOfDay();

    double next() override;

private:
    std::mt19937_64 m_engine;
};

// The lines of `text` in a new order, joined by CR LF (none before the first or after the
// last line). Position i, from the first to the last, is swapped with a position drawn from
// all positions, not only the later ones: a swap-with-any-position pass, not Fisher-Yates,
// so the orders are not equally likely. Empty lines take part like any other.
QString ShuffleLines(QStringView text, UniformSource& random);

} // namespace lumbrel
