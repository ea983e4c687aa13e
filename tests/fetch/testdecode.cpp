#include "fetch/decode.h"
#include "fetch/fetcher.h"

#include <QStringDecoder>
#include <QTest>

using namespace lumbrel;

class TestDecode final : public QObject
{
    Q_OBJECT

private slots:
    void gb18030DecoderIsAvailable();
    void bytesToText_data();
    void bytesToText();
    void charsetForChoice_data();
    void charsetForChoice();

    void onlyWebAddressesAreFetchable_data();
    void onlyWebAddressesAreFetchable();
    void crawlerUserAgentHasNoSpaces();
};

void TestDecode::gb18030DecoderIsAvailable()
{
    // Qt reaches GB18030 only through ICU; without it every gb2312 page would come out empty.
    QVERIFY(QStringDecoder("GB18030").isValid());
}

void TestDecode::bytesToText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("text");
    const QString utf8 = QStringLiteral("utf-8");
    const QString gb = QStringLiteral("gb2312");

    QTest::newRow("utf-8 passes characters through")
        << QByteArray("\xe4\xb8\xad\xe6\x96\x87 ab") << utf8 << QStringLiteral("中文 ab");
    QTest::newRow("utf-8 drops a leading byte order mark")
        << QByteArray("\xef\xbb\xbfx") << utf8 << QStringLiteral("x");
    QTest::newRow("utf-8 invalid byte becomes U+FFFD") << QByteArray("a\xff"
                                                                     "b")
                                                       << utf8 << QStringLiteral("a\uFFFDb");
    QTest::newRow("utf-8 truncated sequence at the end becomes U+FFFD")
        << QByteArray("a\xe4\xb8") << utf8 << QStringLiteral("a\uFFFD");
    QTest::newRow("utf-8 keeps NUL bytes") << QByteArray("a\0b", 3) << utf8 << QStringView(u"a\0b", 3).toString();
    QTest::newRow("utf-8 empty body is empty text") << QByteArray() << utf8 << QString();

    QTest::newRow("gb2312 reads GB2312 characters") << QByteArray("\xd6\xd0\xce\xc4") << gb << QStringLiteral("中文");
    // Pages labelled gb2312 are really GBK: a strict decoder would turn these into garbage.
    QTest::newRow("gb2312 reads GBK-only characters") << QByteArray("\xe9\x46\x88\xd2") << gb << QStringLiteral("镕堃");
    QTest::newRow("gb2312 reads four-byte sequences") << QByteArray("\x81\x30\x81\x30") << gb << QString(QChar(0x80));
    QTest::newRow("gb2312 invalid byte becomes U+FFFD") << QByteArray("a\xff"
                                                                      "b")
                                                        << gb << QStringLiteral("a\uFFFDb");
    QTest::newRow("gb2312 lead byte before ASCII keeps the ASCII")
        << QByteArray("a\x81 b") << gb << QStringLiteral("a\uFFFD b");
    QTest::newRow("gb2312 truncated lead byte at the end becomes U+FFFD")
        << QByteArray("a\x81") << gb << QStringLiteral("a\uFFFD");
    QTest::newRow("gb2312 empty body is empty text") << QByteArray() << gb << QString();
    QTest::newRow("charset names ignore case")
        << QByteArray("\xe9\x46") << QStringLiteral("GB2312") << QStringLiteral("镕");
    QTest::newRow("unknown charset reads UTF-8")
        << QByteArray("\xe4\xb8\xad") << QStringLiteral("no-such-set") << QStringLiteral("中");
}

void TestDecode::bytesToText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QString, text);
    QCOMPARE(BytesToText(bytes, charset), text);
}

void TestDecode::charsetForChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("charset");
    QTest::newRow("Option1's utf") << QStringLiteral("utf") << QStringLiteral("utf-8");
    QTest::newRow("Option2's gbk") << QStringLiteral("gbk") << QStringLiteral("gb2312");
    QTest::newRow("gb anywhere") << QStringLiteral("xgbx") << QStringLiteral("gb2312");
    QTest::newRow("GB in capitals is not gb") << QStringLiteral("GBK") << QStringLiteral("utf-8");
    QTest::newRow("empty choice") << QString() << QStringLiteral("utf-8");
}

void TestDecode::charsetForChoice()
{
    QFETCH(QString, choice);
    QFETCH(QString, charset);
    QCOMPARE(CharsetForChoice(choice), charset);
}

void TestDecode::onlyWebAddressesAreFetchable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("fetchable");
    QTest::newRow("http") << QStringLiteral("http://127.0.0.1:8080/a?b=c") << true;
    QTest::newRow("https") << QStringLiteral("https://example.com/") << true;
    QTest::newRow("scheme in capitals") << QStringLiteral("HTTPS://example.com/") << true;
    QTest::newRow("file reads local files") << QStringLiteral("file:///etc/passwd") << false;
    QTest::newRow("ftp") << QStringLiteral("ftp://example.com/http") << false;
    QTest::newRow("text before the scheme") << QStringLiteral("x http://127.0.0.1/") << false;
    QTest::newRow("no host") << QStringLiteral("http://") << false;
    QTest::newRow("space in the host") << QStringLiteral("http://exa mple.com/") << false;
}

void TestDecode::onlyWebAddressesAreFetchable()
{
    QFETCH(QString, address);
    QFETCH(bool, fetchable);
    QCOMPARE(IsFetchableUrl(QUrl(address, QUrl::TolerantMode)), fetchable);
}

void TestDecode::crawlerUserAgentHasNoSpaces()
{
    const QByteArray agent(CrawlerUserAgent);
    QVERIFY(agent.startsWith("Mozilla/5.0+(Linux;u;Android+4.2.2;zh-cn;)+AppleWebKit/534.46+(KHTML,like+Gecko)"
                             "+Version/5.1+Mobile+Safari/10600.6.3+(compatible;+Baiduspider/2.0;++http://"));
    QVERIFY(agent.endsWith(")"));
    QVERIFY(!agent.contains(' '));
}

QTEST_APPLESS_MAIN(TestDecode)
#include "testdecode.moc"
