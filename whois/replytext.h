#ifndef VANTOR_REPLYTEXT_H
#define VANTOR_REPLYTEXT_H

#include <QByteArray>
#include <QString>

// A whole reply as text. NUL bytes are dropped: what follows a stray NUL is
// still part of the reply. Bytes that are valid UTF-8 are read as UTF-8,
// which most registries send; any other reply as Latin-1. The whole reply is
// judged at once, so where the network cut it into chunks does not matter.
// A reply cut off at a bound may end in the middle of a character; that
// tail does not count against UTF-8 and is dropped.
QString decodeReply(QByteArray bytes, bool cutOff, bool *utf8);

// A reply that answers nothing: only blank lines, comments ('%', '#'), or
// a retired registry's "TLD is not supported.".
bool isUnusableReply(const QString &text);

// The server on the "whois:" line of whois.iana.org's answer for a TLD, or
// an empty text where it names none.
QString ianaWhoisServer(const QString &text);

#endif
