#include "store/row.h"

#include <QtEndian>

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

void bindAnswer(QSqlQuery &insert, const Answer &a, qint64 used)
{
    const QStringList texts = { a.key, a.kind, a.servers.join(QLatin1Char('\n')), a.protocols.join(QLatin1Char('\n')) };
    int i = 0;
    for (const QString &text : texts)
        insert.bindValue(i++, textBlob(text));
    insert.bindValue(i++, a.fetched.toMSecsSinceEpoch());
    insert.bindValue(i++, textBlob(a.response));
    insert.bindValue(i++, a.utf8 ? 1 : 0);
    for (const QString *text : { &a.text, &a.netRange, &a.cidr, &a.owner, &a.country, &a.address })
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

Answer readAnswer(const QSqlQuery &row)
{
    Answer a;
    int i = 1; // after the rowid
    a.key = fromBlob(row.value(i++));
    a.kind = fromBlob(row.value(i++));
    a.servers = listFromBlob(row.value(i++));
    a.protocols = listFromBlob(row.value(i++));
    a.fetched = QDateTime::fromMSecsSinceEpoch(row.value(i++).toLongLong(), Qt::UTC);
    a.response = fromBlob(row.value(i++));
    a.utf8 = row.value(i++).toInt() != 0;
    for (QString *text : { &a.text, &a.netRange, &a.cidr, &a.owner, &a.country, &a.address })
        *text = fromBlob(row.value(i++));
    const int family = row.value(i++).toInt();
    if (family == 4 || family == 6) {
        a.rangeStart = addressFromBlob(family, row.value(i++));
        a.rangeEnd = addressFromBlob(family, row.value(i++));
    }
    return a;
}

} // namespace store::detail
