#pragma once

#include <QString>

#include <optional>

namespace lumbrel {

// What a line operation gives back: either a refusal message (and nothing else changes),
// or the new working text and, for the commands that set lines aside, the new temporary text.
struct LineOpResult
{
    QString refusal;
    QString text;
    std::optional<QString> setAside;

    bool refused() const
    {
        return !refusal.isEmpty();
    }

    static LineOpResult refuse(QString message)
    {
        LineOpResult r;
        r.refusal = std::move(message);
        return r;
    }
};

} // namespace lumbrel
