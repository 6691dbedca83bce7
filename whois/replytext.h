#ifndef VANTOR_REPLYTEXT_H
#define VANTOR_REPLYTEXT_H

#include <QByteArray>
#include <QString>

// Appends one chunk of reply bytes, read as Latin-1, to text. NUL bytes are
// dropped rather than ending the chunk: where a chunk ends depends on the
// network, and what follows a stray NUL is still part of the reply.
void appendReplyChunk(QString &text, const QByteArray &bytes);

#endif
