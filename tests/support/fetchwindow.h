#pragma once

// The window on its fetch page, for tests of "抓取" against a loopback server.
#include "fetch/fetchcommand.h"
#include "tests/support/formfixture.h"

#include <QTabBar>

namespace lumbrel::testing {

struct FetchWindow
{
    Form1 form;

    // `limits` replace the command's own, so a suite can keep them short; quan starts as `keep`.
    FetchWindow(const FetchLimits& limits, const QString& keep)
    {
        form.show();
        form.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(3);
        command()->setLimits(limits);
        area(form, "quan")->setContent(keep);
    }
    FetchCommand* command()
    {
        return form.findChild<FetchCommand*>(QStringLiteral("FetchCommand"));
    }
    void fetch(const QString& address)
    {
        box(form, 7)->setText(address);
        click(form, 14);
    }
    QString quan()
    {
        return area(form, "quan")->content();
    }
    QString status() const
    {
        return form.windowTitle();
    }
};

} // namespace lumbrel::testing
