#include "whois/replytext.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>

namespace {

// How many bytes at the end of bytes begin a UTF-8 sequence that is not complete.
qsizetype incompleteTail(const QByteArray &bytes)
{
    for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const uchar c = uchar(bytes.at(bytes.size() - back));
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

QString decodeReply(QByteArray bytes, bool cutOff, bool *utf8)
{
    if (bytes.contains('\0'))
        bytes.replace('\0', QByteArray());
    // Plain ASCII, as most replies are, reads the same either way.
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; })) {
        *utf8 = true;
        return QString::fromLatin1(bytes);
    }
    const QByteArrayView whole(bytes);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(cutOff ? whole.chopped(incompleteTail(bytes)) : whole);
    *utf8 = !decoder.hasError();
    // Read as Latin-1, the tail bytes are letters like any other.
    return *utf8 ? text : QString::fromLatin1(bytes);
}

bool isUnusableReply(const QString &text)
{
    // The answer of gTLD registries that have switched port 43 off; rare,
    // so only a reply that holds it is read line by line for it.
    const bool retired = text.contains(u"TLD is not supported.");
    bool content = false;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).sliced(start, end - start).trimmed();
        start = end + 1;
        if (retired && line == u"TLD is not supported.")
            return true;
        if (!line.isEmpty() && !line.startsWith(u'%') && !line.startsWith(u'#')) {
            content = true;
            if (!retired)
                break;
        }
    }
    return !content;
}

QString ianaWhoisServer(const QString &text)
{
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.startsWith(u"whois:", Qt::CaseInsensitive))
            return line.mid(6).trimmed().toString();
    }
    return QString();
}
