#ifndef VANTOR_SCAN_H
#define VANTOR_SCAN_H

#include <QStringView>
#include <QSysInfo>

#include <cstring>

namespace scan {

// Where the ASCII character c first stands in text at or after from, or -1.
// Reading a reply means hundreds of short searches (the next line feed, the
// next colon), where QStringView::indexOf costs more in its call than in
// the search: this asks the C library's memchr for the byte of c and keeps
// only the hits that are the whole letter.
inline qsizetype indexOf(QStringView text, char c, qsizetype from = 0)
{
    const char *const bytes = reinterpret_cast<const char *>(text.utf16());
    const char *const end = bytes + 2 * text.size();
    // The byte that holds an ASCII letter's code, first or second of two.
    constexpr int low = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 0 : 1;
    for (const char *p = bytes + 2 * from; p < end;) {
        p = static_cast<const char *>(std::memchr(p, c, size_t(end - p)));
        if (!p)
            break;
        const qsizetype at = p - bytes;
        if (at % 2 == low && text.utf16()[at / 2] == char16_t(c))
            return at / 2;
        ++p;
    }
    return -1;
}

} // namespace scan

#endif
