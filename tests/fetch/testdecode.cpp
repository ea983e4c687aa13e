#include "fetch/decode.h"
#include "fetch/fetcher.h"

#include <QTest>

using namespace lumbrel;

class TestDecode final : public QObject
{
    Q_OBJECT

private slots:
    void bytesToText_data();
    void bytesToText();
    void onlyWebAddressesAreFetchable_data();
    void onlyWebAddressesAreFetchable();
};

void TestDecode::bytesToText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<std::optional<QString>>("text");
    const auto row =
        [](const char* name, const QByteArray& bytes, const char16_t* charset, const std::optional<QString>& text) {
            QTest::newRow(name) << bytes << QString::fromUtf16(charset) << text;
        };
    row("utf-8 drops a leading byte order mark", "\xef\xbb\xbfx", u"utf-8", QStringLiteral("x"));
    // A broken sequence becomes U+FFFD, also one cut off at the end.
    row("utf-8 truncated sequence at the end becomes U+FFFD", "a\xe4\xb8", u"utf-8", QStringLiteral("a\uFFFD"));
    row("empty body is empty text", {}, u"utf-8", QString());
    // Pages labelled gb2312 are really GBK: a strict decoder would turn these into garbage.
    row("gb2312 reads GBK-only characters", "\xe9\x46\x88\xd2", u"gb2312", QStringLiteral("镕堃"));
    row("gb2312 reads four-byte sequences", "\x81\x30\x81\x30", u"gb2312", QString(QChar(0x80)));
    row("gb2312 truncated lead byte at the end becomes U+FFFD", "a\x81", u"gb2312", QStringLiteral("a\uFFFD"));
    row("charset names ignore case", "\xe9\x46", u"GB2312", QStringLiteral("镕"));
    // The page would otherwise pass for an empty one.
    row("a charset without a decoder gives no text", "\xe4\xb8\xad", u"no-such-set", std::nullopt);
}

void TestDecode::bytesToText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(std::optional<QString>, text);
    QCOMPARE(BytesToText(bytes, charset), text);
}

void TestDecode::onlyWebAddressesAreFetchable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("fetchable");
    QTest::newRow("scheme in capitals") << QStringLiteral("HTTPS://example.com/") << true;
    QTest::newRow("file reads local files") << QStringLiteral("file:///etc/passwd") << false;
    QTest::newRow("no host") << QStringLiteral("http://") << false;
    QTest::newRow("space in the host") << QStringLiteral("http://exa mple.com/") << false;
}

void TestDecode::onlyWebAddressesAreFetchable()
{
    QFETCH(QString, address);
    QFETCH(bool, fetchable);
    QCOMPARE(IsFetchableUrl(QUrl(address, QUrl::TolerantMode)), fetchable);
}

QTEST_APPLESS_MAIN(TestDecode)
#include "testdecode.moc"
