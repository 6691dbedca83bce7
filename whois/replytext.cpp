#include "whois/replytext.h"

void appendReplyChunk(QString &text, const QByteArray &bytes)
{
    if (!bytes.contains('\0')) {
        text += QString::fromLatin1(bytes);
        return;
    }
    QByteArray clean = bytes;
    clean.replace('\0', QByteArray());
    text += QString::fromLatin1(clean);
}
