// The tag scanner gives exactly what the two patterns give under a regular-expression engine.
#include "fuzz/fuzzinput.h"
#include "lineops/htmlstrip.h"

#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    QString text = in.rest();
    if (mode & 1)
        text = fuzz::narrowed(text, u"<<>>/a\r\n ");
    static const QRegularExpression open(QStringLiteral("<[^\\n][^<]*>"));
    static const QRegularExpression close(QStringLiteral("</[^<]*>"));
    const QString expected = QString(text).remove(open).remove(close);
    FUZZ_CHECK(StripHtmlTags(text) == expected);
    return 0;
}
