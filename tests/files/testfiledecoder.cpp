// Encoding detection, decoding into the areas' form and encoding back: against literal
// references, across every way of cutting the input, and byte for byte round trips.
#include "files/filedecoder.h"
#include "files/fileencoder.h"
#include "files/textformat.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <unordered_set>

using namespace lumbrel;

Q_DECLARE_METATYPE(lumbrel::TextEncoding)
Q_DECLARE_METATYPE(lumbrel::LineEnding)

namespace {

QByteArray encoded(const QString& text, const char* charset)
{
    QStringEncoder encoder(charset);
    const QByteArray bytes = encoder.encode(text);
    Q_ASSERT(!encoder.hasError());
    return bytes;
}

QByteArray gbk(const char16_t* text)
{
    return encoded(QString::fromUtf16(text), "GB18030");
}

// Every proper prefix of every valid UTF-8 sequence longer than one byte, found by encoding
// every code point: the plain statement of what may start a sequence.
const std::unordered_set<quint32>& validPrefixes()
{
    static const std::unordered_set<quint32> prefixes = [] {
        std::unordered_set<quint32> set;
        for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF)
                continue;
            const QByteArray bytes = QString::fromUcs4(&cp, 1).toUtf8();
            quint32 key = 0;
            for (qsizetype k = 0; k + 1 < bytes.size(); ++k) {
                key = key << 8 | static_cast<unsigned char>(bytes[k]);
                set.insert(key | static_cast<quint32>(k + 1) << 28);
            }
        }
        return set;
    }();
    return prefixes;
}

// The literal reading of UTF-8: a whole valid sequence is its character; otherwise the
// longest start of one (at least one byte) is one U+FFFD. Breaks become CR LF.
DecodedText referenceUtf8(QByteArrayView bytes)
{
    DecodedText out;
    QString text;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            text += QChar(static_cast<char16_t>(p[i]));
            ++i;
            continue;
        }
        qsizetype prefix = 0;
        quint32 key = 0;
        for (qsizetype k = 1; k <= 3 && i + k <= n; ++k) {
            key = key << 8 | p[i + k - 1];
            if (!validPrefixes().count(key | static_cast<quint32>(k) << 28))
                break;
            prefix = k;
        }
        if (prefix > 0 && i + prefix < n) {
            const QByteArray whole(reinterpret_cast<const char*>(p + i), prefix + 1);
            // U+FEFF is a character here, not a mark to drop; what the decoder cannot read
            // becomes U+FFFD, which never encodes back the same.
            QStringDecoder platform(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            const QString decoded = platform.decode(whole);
            if (decoded.toUtf8() == whole) {
                text += decoded;
                i += prefix + 1;
                continue;
            }
        }
        text += QChar::ReplacementCharacter;
        out.counts.undecodable += std::max<qsizetype>(prefix, 1);
        i += std::max<qsizetype>(prefix, 1);
    }
    QString normalized;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++out.counts.crlf;
            ++i;
        } else if (text[i] == u'\r') {
            ++out.counts.cr;
        } else if (text[i] == u'\n') {
            ++out.counts.lf;
        } else {
            normalized += text[i];
            continue;
        }
        normalized += QStringLiteral("\r\n");
    }
    out.counts.lines =
        out.counts.crlf + out.counts.lf + out.counts.cr + (normalized.isEmpty() || normalized.endsWith(u'\n') ? 0 : 1);
    out.text = normalized.toUtf8();
    return out;
}

DecodedText decodeInPieces(QByteArrayView bytes, TextEncoding encoding, qsizetype piece)
{
    FileDecoder decoder(encoding);
    DecodedText out;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        QByteArray part;
        decoder.decode(bytes.sliced(at, std::min(piece, bytes.size() - at)), part);
        out.text += part;
    }
    decoder.finish(out.text);
    out.counts = decoder.counts();
    out.bom = decoder.bomSeen();
    return out;
}

bool sameCounts(const DecodeCounts& a, const DecodeCounts& b)
{
    return a.undecodable == b.undecodable && a.crlf == b.crlf && a.lf == b.lf && a.cr == b.cr && a.lines == b.lines;
}

// Hostile bytes: line breaks, NUL, lead and trail bytes of every encoding, surrogate halves.
QByteArray hostileBytes(QRandomGenerator& rng, int length)
{
    static const char pool[] = {'\r',   '\n',   '\0',   'a',    '0',    '@',    '\x80', '\x81', '\xA1', '\xB0', '\xC2',
                                '\xD8', '\xDC', '\xE4', '\xED', '\xEF', '\xF0', '\xF4', '\xFE', '\xFF', '\xBF', '\x9F'};
    QByteArray bytes;
    for (int k = 0; k < length; ++k) {
        bytes += rng.bounded(3) == 0 ? static_cast<char>(rng.bounded(256))
                                     : pool[rng.bounded(static_cast<int>(sizeof pool))];
    }
    return bytes;
}

// A byte literal with its NUL bytes.
template <std::size_t N> QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

bool onlyCrLfBreaks(const QByteArray& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

} // namespace

class TestFileDecoder final : public QObject
{
    Q_OBJECT

private slots:
    void detection_data();
    void detection();
    void lateInvalidByteSamplesItsOwnLine();

    void decoding_data();
    void decoding();
    void utf8MatchesTheLiteralReading();
    void validationMatchesTheLiteralReading();
    void legacyTextMatchesThePlatformDecoder_data();
    void legacyTextMatchesThePlatformDecoder();
    void cuttingTheInputChangesNothing();

    void roundTripIsByteIdentical_data();
    void roundTripIsByteIdentical();
    void endingsFollowTheFormat_data();
    void endingsFollowTheFormat();
    void unencodableCharacterNamesItsLine_data();
    void unencodableCharacterNamesItsLine();
    void gb18030HoldsEveryCharacter();
};

void TestFileDecoder::detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    const QString chinese = QStringLiteral("手机壳\r\n手机价格\r\n笔记本电脑\r\n");
    const QString traditional = QStringLiteral("臺灣的天氣很熱，我們去海邊玩吧。\n這個問題很難回答，請你再說一遍。\n"
                                               "電腦軟體開發與網路應用服務\n國際機場附近的飯店價格\n");
    const QString japanese = QStringLiteral("今日はとても暑いですね。海に行きましょう。\n"
                                            "この問題は難しいので、もう一度説明してください。\n"
                                            "東京駅の近くにあるホテルの料金を調べています。\n");
    const auto row = [](const char* name, const QByteArray& bytes, TextEncoding encoding, bool bom = false) {
        QTest::newRow(name) << bytes << encoding << bom;
    };
    row("a UTF-8 BOM decides, whatever follows", "\xEF\xBB\xBF" + gbk(u"手机"), TextEncoding::Utf8, true);
    row("a UTF-16 LE BOM decides", "\xFF\xFE" + encoded(chinese, "UTF-16LE"), TextEncoding::Utf16LE, true);
    row("a UTF-16 BE BOM decides", "\xFE\xFF" + encoded(chinese, "UTF-16BE"), TextEncoding::Utf16BE, true);
    row("valid UTF-8 is UTF-8", chinese.toUtf8(), TextEncoding::Utf8);
    row("ASCII only is UTF-8", "buy cheap\r\nphone case\r\n", TextEncoding::Utf8);
    row("an empty file is UTF-8", QByteArray(), TextEncoding::Utf8);
    row("a GBK keyword list is GB18030", encoded(chinese, "GB18030"), TextEncoding::Gb18030);
    // Short GBK lines that a statistical detector names as UTF-8, TIS-620, ISO-8859-7 or
    // windows-1256: GB18030 must still win.
    row("short GBK line 京成", gbk(u"京成\r\n"), TextEncoding::Gb18030);
    row("short GBK line 钱售", gbk(u"钱售\r\n"), TextEncoding::Gb18030);
    row("short GBK line 们们了", gbk(u"们们了\r\n"), TextEncoding::Gb18030);
    row("short GBK line 可们手机", gbk(u"可们手机\r\n"), TextEncoding::Gb18030);
    row("GBK with ASCII", gbk(u"是的,手机,bag cheap,how mac best\r\n"), TextEncoding::Gb18030);
    row("GBK-only characters are GB18030", gbk(u"镕堃喆\r\n"), TextEncoding::Gb18030);
    row("GB18030 four-byte characters", gbk(u"𠀀€・\r\n"), TextEncoding::Gb18030);
    row("Big5 traditional text is Big5", encoded(traditional, "Big5"), TextEncoding::Big5);
    row("Shift_JIS Japanese text is Shift_JIS", encoded(japanese, "Shift_JIS"), TextEncoding::ShiftJis);
    row("UTF-16 LE without BOM", encoded(chinese + traditional, "UTF-16LE"), TextEncoding::Utf16LE);
    row("UTF-16 BE without BOM", encoded(chinese + traditional, "UTF-16BE"), TextEncoding::Utf16BE);
    row("a lone bad byte with nothing else in doubt is GB18030", "abc\xFF\r\n", TextEncoding::Gb18030);
}

void TestFileDecoder::detection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, bom);
    const FileFormat format = DetectFormat(bytes);
    QCOMPARE(EncodingName(format.encoding), EncodingName(encoding));
    QCOMPARE(format.bom, bom);
}

void TestFileDecoder::lateInvalidByteSamplesItsOwnLine()
{
    // Strict UTF-8 needs the whole file: one GBK line after a long ASCII head makes it GBK.
    QByteArray bytes;
    for (int k = 0; k < 20000; ++k)
        bytes += "keyword list line\r\n";
    const QByteArray tail = gbk(u"手机壳\r\n笔记本电脑\r\n");
    bytes += tail;
    QCOMPARE(EncodingName(DetectFormat(bytes).encoding), QStringLiteral("GB18030"));
    Utf8Validator validator;
    validator.feed(bytes);
    QVERIFY(!validator.finish());
    const qsizetype first = bytes.size() - tail.size();
    QCOMPARE(validator.firstInvalid(), first);
    // The sample starts at the line, not at the bad byte: a second byte of a character
    // there would count against every reading.
    QCOMPARE(SampleStart(bytes, first + 4), first);
}

void TestFileDecoder::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("undecodable");
    QTest::addColumn<qint64>("lines");
    const auto row = [](const char* name,
                        const QByteArray& bytes,
                        TextEncoding encoding,
                        const QByteArray& text,
                        qint64 undecodable,
                        qint64 lines) { QTest::newRow(name) << bytes << encoding << text << undecodable << lines; };
    const QByteArray fffd = "\xEF\xBF\xBD";
    row("every kind of break becomes CR LF", "a\r\nb\nc\rd", TextEncoding::Utf8, "a\r\nb\r\nc\r\nd", 0, 4);
    row("a final break ends the last line", "a\nb\n", TextEncoding::Utf8, "a\r\nb\r\n", 0, 2);
    row("CR CR LF is a lone CR and a pair", "\r\r\n", TextEncoding::Utf8, "\r\n\r\n", 0, 2);
    row("LF CR is two breaks", "\n\r", TextEncoding::Utf8, "\r\n\r\n", 0, 2);
    row("empty input has no lines", "", TextEncoding::Utf8, "", 0, 0);
    row("NUL stays", raw("a\0b"), TextEncoding::Utf8, QByteArray("a\0b", 3), 0, 1);
    row("the UTF-8 BOM is dropped", "\xEF\xBB\xBFx", TextEncoding::Utf8, "x", 0, 1);
    row("a BOM later is a character", "x\xEF\xBB\xBF", TextEncoding::Utf8, "x\xEF\xBB\xBF", 0, 1);
    row("a stray continuation byte", "a\x80z", TextEncoding::Utf8, "a" + fffd + "z", 1, 1);
    row("a cut sequence is one U+FFFD", "\xE4\xB8z", TextEncoding::Utf8, fffd + "z", 2, 1);
    row("a cut sequence at the end", "z\xF0\x9F\x98", TextEncoding::Utf8, "z" + fffd, 3, 1);
    row("an overlong form is two bytes apart", "\xC0\xAF", TextEncoding::Utf8, fffd + fffd, 2, 1);
    row("a surrogate in UTF-8", "\xED\xA0\x80", TextEncoding::Utf8, fffd + fffd + fffd, 3, 1);
    row("UTF-16 LE pairs and breaks",
        raw("\xFF\xFE\x3D\xD8\x00\xDE\r\0\n\0"),
        TextEncoding::Utf16LE,
        "\xF0\x9F\x98\x80\r\n",
        0,
        1);
    row("UTF-16 a lone low surrogate", raw("\x00\xDC\x41\x00"), TextEncoding::Utf16LE, fffd + "A", 2, 1);
    row("UTF-16 a high surrogate before a letter", raw("\xD8\x00\x00\x41"), TextEncoding::Utf16BE, fffd + "A", 2, 1);
    row("UTF-16 an odd last byte", raw("A\0B"), TextEncoding::Utf16LE, "A" + fffd, 1, 1);
    row("GB18030 two- and four-byte characters",
        "\xC4\xE3\x81\x30\x81\x30\x95\x32\x82\x36",
        TextEncoding::Gb18030,
        QStringLiteral("你\u0080𠀀").toUtf8(),
        0,
        1);
    row("GB18030 a lead before a line break keeps the break", "\xC4\r\n", TextEncoding::Gb18030, fffd + "\r\n", 1, 1);
    row("GB18030 a broken four-byte form gives its digits back", "\x81\x30z", TextEncoding::Gb18030, fffd + "0z", 1, 1);
    row("GB18030 a four-byte form outside Unicode", "\xFE\x39\xFE\x39", TextEncoding::Gb18030, fffd, 4, 1);
    row("GB18030 0x80 and 0xFF alone", "\x80\xFF", TextEncoding::Gb18030, fffd + fffd, 2, 1);
    row("Shift_JIS keeps ASCII control bytes as they are", "\x1A\x1C\\", TextEncoding::ShiftJis, "\x1A\x1C\\", 0, 1);
    row("Shift_JIS an unmapped pair with an ASCII second byte gives it back",
        "\x85\x40",
        TextEncoding::ShiftJis,
        fffd + "@",
        1,
        1);
}

void TestFileDecoder::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, text);
    QFETCH(qint64, undecodable);
    QFETCH(qint64, lines);
    const DecodedText decoded = DecodeAll(bytes, encoding);
    QCOMPARE(decoded.text, text);
    QCOMPARE(decoded.counts.undecodable, undecodable);
    QCOMPARE(decoded.counts.lines, lines);
}

void TestFileDecoder::utf8MatchesTheLiteralReading()
{
    QRandomGenerator rng(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = hostileBytes(rng, static_cast<int>(rng.bounded(40)));
        if (round % 3 == 0)
            bytes += QStringLiteral("中文😀\r\n").toUtf8();
        const DecodedText expected = referenceUtf8(bytes);
        const DecodedText got = DecodeAll(bytes, TextEncoding::Utf8);
        if (got.text != expected.text || !sameCounts(got.counts, expected.counts))
            QFAIL(qPrintable(QStringLiteral("differs on ") + QString::fromLatin1(bytes.toHex(' '))));
    }
}

void TestFileDecoder::validationMatchesTheLiteralReading()
{
    // Valid text of every sequence length, then one byte changed: the block check must find
    // what the literal reading finds, wherever in a block it falls.
    QRandomGenerator rng(5);
    const char32_t ranges[][2] = {{0x20, 0x7E}, {0x80, 0x7FF}, {0x800, 0xFFFF}, {0x10000, 0x10FFFF}};
    for (int round = 0; round < 4000; ++round) {
        QString text;
        for (int k = rng.bounded(70); k > 0; --k) {
            const auto& range = ranges[rng.bounded(4)];
            char32_t cp = range[0] + rng.bounded(range[1] - range[0] + 1);
            if (cp >= 0xD800 && cp <= 0xDFFF)
                cp = 0x4E2D;
            text += QString::fromUcs4(&cp, 1);
        }
        QByteArray bytes = text.toUtf8();
        if (round % 4 != 0 && !bytes.isEmpty()) {
            const int at = rng.bounded(static_cast<int>(bytes.size()));
            static const char swaps[] = {'\x80', '\xBF', '\xC0', '\xC2', '\xE0', '\xED', '\xF0', '\xF4', '\xF5', 'a'};
            bytes[at] = swaps[rng.bounded(static_cast<int>(sizeof swaps))];
        }
        if (round % 5 == 0)
            bytes.chop(1);
        const bool valid = referenceUtf8(bytes).counts.undecodable == 0;
        Utf8Validator validator;
        validator.feed(bytes);
        if (validator.finish() != valid)
            QFAIL(qPrintable(QStringLiteral("validity differs on ") + QString::fromLatin1(bytes.toHex(' '))));
        QCOMPARE(DecodeAll(bytes, TextEncoding::Utf8).counts.undecodable == 0, valid);
    }
}

void TestFileDecoder::legacyTextMatchesThePlatformDecoder_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("alphabet");
    QTest::newRow("GB18030 text, four-byte characters among it")
        << TextEncoding::Gb18030 << QStringLiteral("GB18030")
        << QStringLiteral("手机价格新款官网镕堃€・ab 1\r\n\u00E9\u0101\uE5E5\uFFFD\u4DB5");
    QTest::newRow("Big5 text") << TextEncoding::Big5 << QStringLiteral("Big5")
                               << QStringLiteral("臺灣天氣熱們邊問題難回答請說遍電腦軟體開發ab 1\r\n，。");
    QTest::newRow("Shift_JIS text") << TextEncoding::ShiftJis << QStringLiteral("Shift_JIS")
                                    << QStringLiteral("今日はとても暑いですね。海ソフトｱｲｳab 1\r\n");
}

void TestFileDecoder::legacyTextMatchesThePlatformDecoder()
{
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, charset);
    QFETCH(QString, alphabet);
    QRandomGenerator rng(11);
    const QList<uint> points = alphabet.toUcs4();
    for (int round = 0; round < 300; ++round) {
        QList<uint> chosen;
        for (int k = rng.bounded(60); k > 0; --k)
            chosen += points[rng.bounded(static_cast<int>(points.size()))];
        const QString text = QString::fromUcs4(reinterpret_cast<const char32_t*>(chosen.constData()), chosen.size());
        const QByteArray bytes = encoded(text, charset.toLatin1().constData());
        QStringDecoder platform(charset.toLatin1().constData());
        const QString expected = platform.decode(bytes);
        const DecodedText got = DecodeAll(bytes, encoding);
        QCOMPARE(got.counts.undecodable, 0);
        QCOMPARE(got.text, referenceUtf8(expected.toUtf8()).text);
    }
}

void TestFileDecoder::cuttingTheInputChangesNothing()
{
    QRandomGenerator rng(3);
    const TextEncoding encodings[] = {TextEncoding::Utf8,
                                      TextEncoding::Utf16LE,
                                      TextEncoding::Utf16BE,
                                      TextEncoding::Gb18030,
                                      TextEncoding::Big5,
                                      TextEncoding::ShiftJis};
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes = hostileBytes(rng, static_cast<int>(rng.bounded(64)));
        if (round % 4 == 0)
            bytes.prepend("\xEF\xBB\xBF");
        if (round % 4 == 1)
            bytes.prepend("\xFF\xFE");
        for (const TextEncoding encoding : encodings) {
            const DecodedText whole = DecodeAll(bytes, encoding);
            QVERIFY(onlyCrLfBreaks(whole.text));
            QCOMPARE(referenceUtf8(whole.text).counts.undecodable, 0);
            for (const qsizetype piece : {1, 2, 3, 7}) {
                const DecodedText cut = decodeInPieces(bytes, encoding, piece);
                QCOMPARE(cut.text, whole.text);
                QVERIFY(sameCounts(cut.counts, whole.counts));
                QCOMPARE(cut.bom, whole.bom);
            }
        }
    }
}

void TestFileDecoder::roundTripIsByteIdentical_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<LineEnding>("ending");
    const std::pair<const char*, TextEncoding> encodings[] = {{"UTF-8", TextEncoding::Utf8},
                                                              {"UTF-16 LE", TextEncoding::Utf16LE},
                                                              {"UTF-16 BE", TextEncoding::Utf16BE},
                                                              {"GB18030", TextEncoding::Gb18030}};
    const std::pair<const char*, LineEnding> endings[] = {
        {"CR LF", LineEnding::CrLf}, {"LF", LineEnding::Lf}, {"CR", LineEnding::Cr}};
    for (const auto& [encodingName, encoding] : encodings) {
        for (const bool bom : {false, true}) {
            if (bom && !CanHaveBom(encoding))
                continue;
            for (const auto& [endingName, ending] : endings) {
                QTest::addRow("%s%s, %s", encodingName, bom ? " with BOM" : "", endingName)
                    << encoding << bom << ending;
            }
        }
    }
}

void TestFileDecoder::roundTripIsByteIdentical()
{
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, bom);
    QFETCH(LineEnding, ending);
    const char* charsets[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "GB18030"};
    const char* breaks[] = {"\r\n", "\n", "\r"};
    QString text;
    const QString lines[] = {
        QStringLiteral("手机壳 price"), QString(), QStringLiteral("𠀀€镕 😀"), QStringLiteral(" a\tb ")};
    for (int k = 0; k < 40; ++k)
        text += lines[k % 4] + QLatin1String(breaks[static_cast<int>(ending)]);
    text += QStringLiteral("no break at the end");
    QByteArray file = encoded(text, charsets[static_cast<int>(encoding)]);
    if (bom)
        file.prepend(BomBytes(encoding).toByteArray());

    const DecodedText opened = DecodeAll(file, encoding);
    QCOMPARE(opened.bom, bom);
    QCOMPARE(opened.counts.undecodable, 0);
    QCOMPARE(DominantEnding(opened.counts), ending);
    const std::optional<QByteArray> saved =
        EncodeAll(opened.text, {encoding, opened.bom, DominantEnding(opened.counts)});
    QVERIFY(saved);
    QCOMPARE(*saved, file);
    // Saving in pieces cut anywhere writes the same bytes.
    FileEncoder encoder({encoding, false, ending});
    QByteArray pieces = bom ? BomBytes(encoding).toByteArray() : QByteArray();
    for (qsizetype at = 0; at < opened.text.size(); at += 5)
        QVERIFY(encoder.encode(QByteArrayView(opened.text).sliced(at, std::min<qsizetype>(5, opened.text.size() - at)),
                               pieces));
    QVERIFY(encoder.finish(pieces));
    QCOMPARE(pieces, file);
}

void TestFileDecoder::endingsFollowTheFormat_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<LineEnding>("ending");
    QTest::addColumn<bool>("mixed");
    QTest::newRow("no break at all is saved with LF") << QByteArray("one line") << LineEnding::Lf << false;
    QTest::newRow("the most frequent kind wins") << QByteArray("a\r\nb\r\nc\nd") << LineEnding::CrLf << true;
    QTest::newRow("lone CR files stay CR") << QByteArray("a\rb\r") << LineEnding::Cr << false;
    QTest::newRow("a tie goes to LF") << QByteArray("a\r\nb\n") << LineEnding::Lf << true;
}

void TestFileDecoder::endingsFollowTheFormat()
{
    QFETCH(QByteArray, bytes);
    QFETCH(LineEnding, ending);
    QFETCH(bool, mixed);
    const DecodedText decoded = DecodeAll(bytes, TextEncoding::Utf8);
    QCOMPARE(DominantEnding(decoded.counts), ending);
    QCOMPARE(HasMixedEndings(decoded.counts), mixed);
}

void TestFileDecoder::unencodableCharacterNamesItsLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<uint>("character");
    QTest::newRow("simplified character in Big5")
        << QStringLiteral("臺灣\r\n\r\n中国手机\r\n") << TextEncoding::Big5 << qint64{3} << uint{0x56FD};
    QTest::newRow("emoji in Shift_JIS") << QStringLiteral("今日\r\n😀") << TextEncoding::ShiftJis << qint64{2}
                                        << uint{0x1F600};
    QTest::newRow("lone breaks count as lines too")
        << QStringLiteral("a\rb\nc\r\n€") << TextEncoding::ShiftJis << qint64{4} << uint{0x20AC};
    QTest::newRow("everything fits") << QStringLiteral("今日\r\n") << TextEncoding::ShiftJis << qint64{0} << uint{0};
}

void TestFileDecoder::unencodableCharacterNamesItsLine()
{
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(qint64, line);
    QFETCH(uint, character);
    const QByteArray utf8 = text.toUtf8();
    const std::optional<Unencodable> found = FindUnencodable(utf8, encoding);
    Unencodable failure;
    const std::optional<QByteArray> bytes = EncodeAll(utf8, {encoding, false, LineEnding::CrLf}, &failure);
    if (line == 0) {
        QVERIFY(!found);
        QVERIFY(bytes);
        return;
    }
    QVERIFY(found);
    QCOMPARE(found->line, line);
    QCOMPARE(static_cast<uint>(found->character), character);
    QVERIFY(!bytes);
    QCOMPARE(failure.line, line);
}

void TestFileDecoder::gb18030HoldsEveryCharacter()
{
    // Saving as GB18030 skips the check before writing: every character must have bytes,
    // and they must read back as that character.
    QString all;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; cp += cp < 0x10000 ? 1 : 97) {
        if (cp < 0xD800 || cp > 0xDFFF)
            all += QString::fromUcs4(&cp, 1);
    }
    const QByteArray utf8 = all.toUtf8();
    const std::optional<QByteArray> bytes = EncodeAll(utf8, {TextEncoding::Gb18030, false, LineEnding::Lf});
    QVERIFY(bytes);
    const DecodedText back = DecodeAll(*bytes, TextEncoding::Gb18030);
    QCOMPARE(back.counts.undecodable, 0);
    QVERIFY(back.text == utf8);
}

QTEST_APPLESS_MAIN(TestFileDecoder)
#include "testfiledecoder.moc"
