#pragma once

#include <QtGlobal>

// The attribute bits a listing gives an entry, local or remote; the attribute column shows them
// as letters.
namespace FileAttribute {
inline constexpr quint32 readOnly = 0x1;
inline constexpr quint32 hidden = 0x2;
inline constexpr quint32 system = 0x4;
inline constexpr quint32 directory = 0x10;
inline constexpr quint32 archive = 0x20;
inline constexpr quint32 normal = 0x80;
inline constexpr quint32 temporary = 0x100;
inline constexpr quint32 compressed = 0x800;
} // namespace FileAttribute
