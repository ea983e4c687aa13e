#include "files/filemessages.h"

#include <cerrno>
#include <cstring>

namespace lumbrel::files {

namespace {

QString megabytes(qint64 bytes)
{
    // Rounded up, so a file just over the limit never reads as equal to it.
    return QString::number((bytes + (qint64{1} << 20) - 1) >> 20);
}

// The system's words for an error nobody expects, so it is still named.
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString NotFound(const QString& name)
{
    return QStringLiteral("找不到文件：") + name;
}

QString IsFolder(const QString& name)
{
    return QStringLiteral("不是文件：") + name + QStringLiteral("（是文件夹）");
}

QString NotRegularFile(const QString& name)
{
    return QStringLiteral("不是普通文件：") + name + QStringLiteral("（管道、设备等）");
}

QString NoReadPermission(const QString& name)
{
    return QStringLiteral("没有权限读取：") + name;
}

QString ReadError(const QString& name, int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return NotFound(name);
    if (error == EACCES || error == EPERM)
        return NoReadPermission(name);
    if (error == EISDIR)
        return IsFolder(name);
    return QStringLiteral("读取出错：") + name + QStringLiteral("（") + systemReason(error) + QStringLiteral("）");
}

QString TooBig(qint64 fileBytes, qint64 availableBytes)
{
    return QStringLiteral("文件太大：") + megabytes(fileBytes) + QStringLiteral(" MB，可用内存 ") +
           QString::number(availableBytes >> 20) + QStringLiteral(" MB（最多可打开可用内存的四分之一）");
}

QString NulInHead(const QString& name)
{
    return QStringLiteral("文件开头有 NUL 字符，可能不是文本：") + name;
}

QString Shrank(const QString& name)
{
    return QStringLiteral("文件在读取时变小了：") + name;
}

QString Grew(const QString& name)
{
    return QStringLiteral("文件在读取时变大了：") + name;
}

QString Replaced(const QString& name)
{
    return QStringLiteral("文件在读取时被删除或替换了：") + name;
}

QString Rewritten(const QString& name)
{
    return QStringLiteral("文件在读取时被改写了：") + name;
}

QString Undecodable(qint64 bytes)
{
    if (bytes <= 0)
        return {};
    return QString::number(bytes) + QStringLiteral(" 个字节无法解码，已换成 \uFFFD");
}

QString WriteError(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
    case EDQUOT:
        return QStringLiteral("超出磁盘配额");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case EROFS:
        return QStringLiteral("只读的文件系统");
    case EISDIR:
        return QStringLiteral("目标是文件夹");
    case EIO:
        return QStringLiteral("读写出错");
    case EFBIG:
        return QStringLiteral("文件超出文件系统的大小限制");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    default:
        return systemReason(error);
    }
}

QString TargetNotRegular()
{
    return QStringLiteral("目标不是普通文件");
}

QString CannotEncode(qint64 line, char32_t character, const QString& encoding)
{
    return QStringLiteral("第") + QString::number(line) + QStringLiteral("行的“") + QString::fromUcs4(&character, 1) +
           QStringLiteral("”无法用") + encoding + QStringLiteral("保存");
}

} // namespace lumbrel::files
