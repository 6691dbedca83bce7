#include "route/registrable.h"

#include <libpsl.h>

#include <QList>

namespace route {
namespace {

// The system's list where there is one (distributions keep it fresher than
// the copy built into libpsl), else the built-in one. Made once and never
// freed, so a lookup still running while the program ends cannot find it gone.
const psl_ctx_t *suffixList()
{
    static const psl_ctx_t *const psl = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return psl;
}

} // namespace

QString registrableDomain(const QString &aceName)
{
    const QByteArray name = aceName.toUtf8();
    if (name.isEmpty())
        return QString();
    // The first suffix, from the longest, that the list calls public; the
    // registrable domain is that suffix with the label before it.
    QList<qsizetype> labelStarts{ 0 };
    for (qsizetype i = 0; i < name.size(); ++i)
        if (name.at(i) == '.')
            labelStarts.append(i + 1);
    for (qsizetype k = 0; k < labelStarts.size(); ++k) {
        if (psl_is_public_suffix2(suffixList(), name.constData() + labelStarts.at(k), PSL_TYPE_ICANN)) {
            if (k == 0)
                return QString();
            return QString::fromUtf8(name.mid(labelStarts.at(k - 1)));
        }
    }
    // The list's default rule makes every last label a suffix, so only a
    // name with an empty last label ends up here.
    return QString();
}

} // namespace route
