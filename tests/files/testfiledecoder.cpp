#include "files/filedecoder.h"

#include <QTest>

using namespace lumbrel;

class TestFileDecoder final : public QObject
{
    Q_OBJECT

private slots:
    void smoke();
};

void TestFileDecoder::smoke()
{
    const DecodedText d = DecodeAll("a\nb\r\nc\rd", TextEncoding::Utf8);
    QCOMPARE(d.text, QByteArray("a\r\nb\r\nc\r\nd"));
}

QTEST_APPLESS_MAIN(TestFileDecoder)
#include "testfiledecoder.moc"
