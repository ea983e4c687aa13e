#pragma once

#include "fetch/fetcher.h"

#include <QObject>
#include <QPointer>

namespace lumbrel {

class Form1;

// "抓取" (Command14): fetches the page at Text7 into quan. The wait is event-driven, so the
// window stays responsive; a new fetch abandons the one still waiting (a refused address is
// none). quan changes only when a page arrives; a failure names its reason on the status line.
class FetchCommand final : public QObject
{
    Q_OBJECT

public:
    explicit FetchCommand(Form1& form);

    // The limits every fetch starts with (tests shorten them).
    void setLimits(const FetchLimits& limits)
    {
        m_limits = limits;
    }

    void run();

private:
    void show(const PageText& page);

    Form1& m_form;
    FetchLimits m_limits;
    QPointer<PageFetch> m_pending;
};

// Connect the page fetch command (Command14).
void ConnectFetchCommand(Form1& form);

} // namespace lumbrel
