#include "analysis/extract.h"

#include <QVarLengthArray>

#include "analysis/scan.h"
#include "whois/whoisinfo.h"

namespace extraction {

namespace {

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

} // namespace

Field::Field(const QString &keys)
    : m_keys(keys.split(QLatin1Char('|'), Qt::SkipEmptyParts))
{
    for (const QString &key : std::as_const(m_keys)) {
        m_firstLetters += QChar(asciiLower(key.front().unicode()));
        m_lastLetters += QChar(asciiLower(key.back().unicode()));
    }
}

qsizetype Field::keyBefore(QStringView text, qsizetype colon, qsizetype from) const
{
    qsizetype start = -1;
    // Most colons end no key: the letters at the ends tell, but where they
    // lie beyond ASCII, whose letters can match ASCII ones in any case.
    const char16_t before = colon > from ? text.at(colon - 1).unicode() : 0;
    for (qsizetype k = 0; k < m_keys.size(); ++k) {
        const QString &key = m_keys.at(k);
        const qsizetype at = colon - key.size();
        if (at < from || (start >= 0 && at >= start) || (before < 0x80 && asciiLower(before) != m_lastLetters.at(k)))
            continue;
        if (const char16_t first = text.at(at).unicode(); first < 0x80 && asciiLower(first) != m_firstLetters.at(k))
            continue;
        if (text.sliced(at, key.size()).compare(key, Qt::CaseInsensitive) == 0)
            start = at;
    }
    return start;
}

Field::Match Field::find(QStringView text, qsizetype from) const
{
    // Keys hold no ':', so the first colon that ends a key ends the leftmost
    // match; of the keys that end there, the longest starts first.
    for (qsizetype colon = scan::indexOf(text, ':', from); colon >= 0; colon = scan::indexOf(text, ':', colon + 1)) {
        if (const qsizetype start = keyBefore(text, colon, from); start >= 0) {
            const qsizetype end = scan::indexOf(text, '\n', colon + 1);
            return { start, colon + 1, end < 0 ? text.size() : end };
        }
    }
    return {};
}

QString allValues(const Field &field, QStringView text)
{
    QString values;
    for (Field::Match m = field.find(text, 0); m.start >= 0; m = field.find(text, m.end)) {
        values += text.sliced(m.value, m.end - m.value).trimmed();
        values += QLatin1Char('\n');
    }
    return values.trimmed();
}

void collectValues(QStringView text, const Wanted *wanted, int count)
{
    // Each field goes on from the end of its own last match, as find() would
    // from there: the colons come in order, so its first one is the same.
    QVarLengthArray<qsizetype, 8> from(count, 0);
    for (int i = 0; i < count; ++i)
        wanted[i].values->clear();
    for (qsizetype colon = scan::indexOf(text, ':'); colon >= 0; colon = scan::indexOf(text, ':', colon + 1)) {
        qsizetype end = -1;
        for (int i = 0; i < count; ++i) {
            if (colon <= from[i] || wanted[i].field->keyBefore(text, colon, from[i]) < 0)
                continue;
            if (end < 0) {
                end = scan::indexOf(text, '\n', colon + 1);
                if (end < 0)
                    end = text.size();
            }
            *wanted[i].values += text.sliced(colon + 1, end - colon - 1).trimmed();
            *wanted[i].values += QLatin1Char('\n');
            from[i] = end;
        }
    }
    for (int i = 0; i < count; ++i)
        *wanted[i].values = wanted[i].values->trimmed();
}

QString firstValueOutsideComments(const Field &field, QStringView text)
{
    for (Field::Match m = field.find(text, 0); m.start >= 0; m = field.find(text, m.end)) {
        const qsizetype lineStart = m.start == 0 ? 0 : text.lastIndexOf(u'\n', m.start - 1) + 1;
        const QChar first = text.at(lineStart);
        if (first != QLatin1Char('%') && first != QLatin1Char('#'))
            return text.sliced(m.value, m.end - m.value).trimmed().toString();
    }
    return QString();
}

} // namespace extraction

QString WhoisInfo::extractField(QString keys, QString text) const
{
    const extraction::Field field(keys);
    const extraction::Field::Match m = field.find(text, 0);
    return m.start < 0 ? QString() : QStringView(text).sliced(m.value, m.end - m.value).trimmed().toString();
}

QString WhoisInfo::extractAllFields(QString keys, QString text) const
{
    return extraction::allValues(extraction::Field(keys), text);
}
