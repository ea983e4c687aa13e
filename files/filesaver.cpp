#include "files/filesaver.h"

#include "files/filemessages.h"

namespace lumbrel {

SaveResult SaveText(const QString& path, QByteArrayView utf8, const FileFormat& format, const SaveOptions& options)
{
    SaveResult result;
    const auto cancelled = [&] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
    const auto refused = [&](const Unencodable& bad) {
        result.status = SaveResult::Status::Refused;
        result.unencodable = bad;
        result.reason = files::CannotEncode(bad.line, bad.character, EncodingName(format.encoding));
        return result;
    };
    if (const std::optional<Unencodable> bad = FindUnencodable(utf8, format.encoding))
        return refused(*bad);
    // Only an encoding that was to hold every character can still meet one it cannot hold
    // below; the temporary file then goes with `file`.
    AtomicFile file(path, options.faults);
    const auto failed = [&] {
        result.status = SaveResult::Status::Failed;
        result.reason = file.errorReason();
        return result;
    };
    if (!file.open())
        return failed();
    FileEncoder encoder(format);
    QByteArray chunk;
    if (format.bom)
        chunk.append(BomBytes(format.encoding));
    const qsizetype step = std::max<qsizetype>(1, options.chunkBytes);
    for (qsizetype done = 0; done < utf8.size();) {
        if (cancelled()) {
            file.abort();
            result.status = SaveResult::Status::Cancelled;
            return result;
        }
        const qsizetype piece = std::min(step, utf8.size() - done);
        const bool encoded = encoder.encode(utf8.sliced(done, piece), chunk);
        if (!encoded)
            return refused(encoder.failure());
        if (!file.write(chunk))
            return failed();
        result.bytes += chunk.size();
        chunk.resize(0);
        done += piece;
        if (options.progress)
            options.progress(done, utf8.size());
    }
    if (!encoder.finish(chunk))
        return refused(encoder.failure());
    if (!file.write(chunk))
        return failed();
    result.bytes += chunk.size();
    if (cancelled()) {
        file.abort();
        result.status = SaveResult::Status::Cancelled;
        return result;
    }
    if (!file.commit())
        return failed();
    return result;
}

} // namespace lumbrel
