// The files layer on a real file: decode-file reads, detects and decodes it as the window's
// loader does (pieces taken and dropped at once, so the peak is the loader's own); save-file
// writes the decoded text back in the file's own format, atomically, to a temporary file
// beside it, which is removed after.
#include "bench/benchops.h"
#include "files/filedecoder.h"
#include "files/fileloader.h"
#include "files/filesaver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <cstdio>

namespace lumbrel::bench {
namespace {

double decodeFile(const QString& path, qsizetype& lines)
{
    FileLoader loader;
    QEventLoop loop;
    LoadResult result;
    QString failure;
    QObject::connect(&loader, &FileLoader::piecesReady, &loader, [&] { loader.takePiece(); });
    QObject::connect(&loader, &FileLoader::finished, &loader, [&](const LoadResult& r) {
        result = r;
        loop.quit();
    });
    QObject::connect(&loader, &FileLoader::failed, &loader, [&](const QString& reason) {
        failure = reason;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    loader.start(path);
    loop.exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!failure.isEmpty())
        qFatal("decode-file: %s", qPrintable(failure));
    lines = static_cast<qsizetype>(result.counts.lines);
    std::fprintf(stderr,
                 "decode-file: %s, %s, %lld undecodable bytes\n",
                 qPrintable(FormatName(result.format)),
                 qPrintable(LineEndingName(result.format.ending)),
                 static_cast<long long>(result.counts.undecodable));
    return seconds;
}

double saveFile(const QString& path, qsizetype& lines)
{
    FileFormat format;
    QByteArray text;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("save-file: cannot read %s", qPrintable(path));
        const QByteArray bytes = file.readAll();
        format = DetectFormat(bytes);
        DecodedText decoded = DecodeAll(bytes, format.encoding);
        format.bom = decoded.bom;
        format.ending = DominantEnding(decoded.counts);
        lines = static_cast<qsizetype>(decoded.counts.lines);
        text = std::move(decoded.text);
    }
    // The peak of the save alone, with the area's text it reads from.
    resetPeak();
    const QString target = path + QStringLiteral(".bench-save");
    QElapsedTimer timer;
    timer.start();
    const SaveResult result = SaveText(target, text, format);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    QFile::remove(target);
    if (result.status != SaveResult::Status::Saved)
        qFatal("save-file: %s", qPrintable(result.reason));
    return seconds;
}

const bool registered = [] {
    registerOp({QStringLiteral("decode-file"), {}, false, decodeFile});
    registerOp({QStringLiteral("save-file"), {}, false, saveFile});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
