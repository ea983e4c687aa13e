#pragma once

// Every text the files layer gives the window, in one place. `name` is the file's name as
// the user knows it (the window passes what it shows; the layer passes the file name).
#include <QString>

namespace lumbrel::files {

QString NotFound(const QString& name);         // 找不到文件：name
QString IsFolder(const QString& name);         // 不是文件：name（是文件夹）
QString NotRegularFile(const QString& name);   // 不是普通文件：name（管道、设备等）
QString NoReadPermission(const QString& name); // 没有权限读取：name
QString ReadError(const QString& name, int error);
// 文件太大：N MB，可用内存 M MB（最多可打开可用内存的四分之一）
QString TooBig(qint64 fileBytes, qint64 availableBytes);
QString NulInHead(const QString& name); // 文件开头有 NUL 字符，可能不是文本：name
QString Shrank(const QString& name);    // 文件在读取时变小了：name
QString Grew(const QString& name);      // 文件在读取时变大了：name
QString Replaced(const QString& name);  // 文件在读取时被删除或替换了：name
QString Rewritten(const QString& name); // 文件在读取时被改写了：name

// "N 个字节无法解码，已换成 �"; empty for none.
QString Undecodable(qint64 bytes);

// The reason a save failed, after "保存失败：": 磁盘空间不足, 没有权限, 文件夹不存在, ...
QString WriteError(int error);
QString TargetNotRegular(); // 目标不是普通文件
// 第N行的“c”无法用ENCODING保存
QString CannotEncode(qint64 line, char32_t character, const QString& encoding);
inline constexpr char16_t SaveFailedPrefix[] = u"保存失败：";

} // namespace lumbrel::files
