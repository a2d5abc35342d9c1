#pragma once
// Conversions between the program's UTF-16 text and QString. Both are
// UTF-16, so each is a copy of the code units: a file name that the lossless
// codec mapped into private code units survives the round trip unchanged.

#include <QString>
#include <string>
#include <string_view>

namespace vdx {

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

// The program's texts use "\r\n" as line breaks (they are also written to
// logs); a Qt widget wants "\n".
inline QString DisplayText(std::u16string_view text) {
    QString result = ToQString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

} // namespace vdx
