#include "store/row.h"

#include <QtEndian>

#include <cstring>

#include "analysis/ranges.h"

namespace store::detail {

namespace {

QString fromBlob(const QVariant &value)
{
    const QByteArray bytes = value.toByteArray();
    QString text(bytes.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<quint16>(bytes.constData(), text.size(), text.data());
    return text;
}

// Server names hold no line feed.
QStringList listFromBlob(const QVariant &value)
{
    const QString joined = fromBlob(value);
    return joined.isEmpty() ? QStringList() : joined.split(QLatin1Char('\n'));
}

QHostAddress addressFromBlob(int family, const QVariant &value)
{
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() != 16)
        return QHostAddress();
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    return family == 4 ? QHostAddress(qFromBigEndian<quint32>(b + 12)) : QHostAddress(b);
}

} // namespace

// UTF-16 in little-endian order: every QString comes back as it went in,
// a lone surrogate too, which UTF-8 would replace.
QByteArray textBlob(const QString &text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

int familyOf(const QHostAddress &address)
{
    switch (address.protocol()) {
    case QAbstractSocket::IPv4Protocol:
        return 4;
    case QAbstractSocket::IPv6Protocol:
        return 6;
    default:
        return 0;
    }
}

QByteArray addressBlob(const QHostAddress &address)
{
    const analysis::WideAddress wide = analysis::wideAddress(address);
    return QByteArray(reinterpret_cast<const char *>(wide.data()), int(wide.size()));
}

namespace {

// The reply and the text as shown, one after the other and compressed
// together: the text repeats most of the reply. A registry's reply of
// 3 kB takes about 1.3 kB so, against 12 kB as two UTF-16 texts, and 100 MB
// hold some 70,000 answers rather than 8,000.
QByteArray bodyBlob(const Answer &a)
{
    QByteArray plain;
    plain.reserve(4 + (a.response.size() + a.text.size()) * 2);
    const quint32 responseChars = quint32(a.response.size());
    plain.append(reinterpret_cast<const char *>(&responseChars), 4);
    plain += textBlob(a.response);
    plain += textBlob(a.text);
    return qCompress(plain, 6);
}

// False for a body that does not decompress or does not add up.
bool readBody(const QVariant &value, Answer *a)
{
    const QByteArray plain = qUncompress(value.toByteArray());
    if (plain.size() < 4 || plain.size() % 2 != 0)
        return false;
    quint32 responseChars = 0;
    memcpy(&responseChars, plain.constData(), 4);
    const qsizetype chars = (plain.size() - 4) / 2;
    if (responseChars > quint64(chars))
        return false;
    a->response = fromBlob(QVariant(plain.mid(4, responseChars * 2)));
    a->text = fromBlob(QVariant(plain.mid(4 + responseChars * 2)));
    return true;
}

} // namespace

void bindAnswer(QSqlQuery &insert, const Answer &a, qint64 used)
{
    const QStringList texts = { a.key, a.kind, a.servers.join(QLatin1Char('\n')), a.protocols.join(QLatin1Char('\n')) };
    int i = 0;
    for (const QString &text : texts)
        insert.bindValue(i++, textBlob(text));
    insert.bindValue(i++, a.fetched.toMSecsSinceEpoch());
    insert.bindValue(i++, bodyBlob(a));
    insert.bindValue(i++, a.utf8 ? 1 : 0);
    for (const QString *text : { &a.netRange, &a.cidr, &a.owner, &a.country, &a.address })
        insert.bindValue(i++, textBlob(*text));
    // A range is kept only whole: both ends, one family, in order.
    const int family = familyOf(a.rangeStart);
    const bool ranged = family != 0 && familyOf(a.rangeEnd) == family
                        && !(analysis::wideAddress(a.rangeEnd) < analysis::wideAddress(a.rangeStart));
    insert.bindValue(i++, ranged ? QVariant(family) : QVariant());
    insert.bindValue(i++, ranged ? QVariant(addressBlob(a.rangeStart)) : QVariant());
    insert.bindValue(i++, ranged ? QVariant(addressBlob(a.rangeEnd)) : QVariant());
    insert.bindValue(i++, used);
}

std::optional<Answer> readAnswer(const QSqlQuery &row)
{
    Answer a;
    int i = 0;
    a.key = fromBlob(row.value(i++));
    a.kind = fromBlob(row.value(i++));
    a.servers = listFromBlob(row.value(i++));
    a.protocols = listFromBlob(row.value(i++));
    a.fetched = QDateTime::fromMSecsSinceEpoch(row.value(i++).toLongLong(), Qt::UTC);
    if (!readBody(row.value(i++), &a))
        return std::nullopt;
    a.utf8 = row.value(i++).toInt() != 0;
    for (QString *text : { &a.netRange, &a.cidr, &a.owner, &a.country, &a.address })
        *text = fromBlob(row.value(i++));
    const int family = row.value(i++).toInt();
    if (family == 4 || family == 6) {
        a.rangeStart = addressFromBlob(family, row.value(i++));
        a.rangeEnd = addressFromBlob(family, row.value(i++));
    }
    return a;
}

} // namespace store::detail
