#include "route/registrable.h"

#include <libpsl.h>

#include <QList>
#ifdef VANTOR_PSL_VERSION
#include <QLibrary>
#endif

namespace route {
namespace {

// The Public Suffix List as libpsl serves it: the system's list where there
// is one (distributions keep it fresher than the copy built into libpsl),
// else the built-in one.
struct SuffixList
{
    const psl_ctx_t *list = nullptr;
    decltype(&psl_is_public_suffix2) isPublicSuffix = nullptr; // null where libpsl is missing
};

#ifdef VANTOR_PSL_VERSION
// libpsl is loaded on first use: a run that asks for nothing below a domain
// (an address, a bare domain) need not map it and the two libraries it
// brings, which costs vantor-cli a tenth of its start.
SuffixList loadSuffixList()
{
    QLibrary library(QStringLiteral("psl"), VANTOR_PSL_VERSION); // libpsl.so.5
    const auto latest = reinterpret_cast<decltype(&psl_latest)>(library.resolve("psl_latest"));
    const auto builtin = reinterpret_cast<decltype(&psl_builtin)>(library.resolve("psl_builtin"));
    const auto isPublicSuffix = reinterpret_cast<decltype(&psl_is_public_suffix2)>(library.resolve("psl_is_public_suffix2"));
    if (!latest || !builtin || !isPublicSuffix) {
        qWarning("route: the Public Suffix List cannot be read (%s); names go as typed",
                 qPrintable(library.errorString()));
        return {};
    }
    const psl_ctx_t *system = latest(nullptr);
    return { system ? system : builtin(), isPublicSuffix };
}
#else
SuffixList loadSuffixList()
{
    const psl_ctx_t *system = psl_latest(nullptr);
    return { system ? system : psl_builtin(), &psl_is_public_suffix2 };
}
#endif

// Made once and never freed (nor unloaded), so a lookup still running while
// the program ends cannot find it gone.
const SuffixList &suffixList()
{
    static const SuffixList list = loadSuffixList();
    return list;
}

} // namespace

QString registrableDomain(const QString &aceName)
{
    const QByteArray name = aceName.toUtf8();
    const SuffixList &psl = suffixList();
    if (name.isEmpty() || !psl.isPublicSuffix)
        return QString();
    // The first suffix, from the longest, that the list calls public; the
    // registrable domain is that suffix with the label before it.
    QList<qsizetype> labelStarts{ 0 };
    for (qsizetype i = 0; i < name.size(); ++i)
        if (name.at(i) == '.')
            labelStarts.append(i + 1);
    for (qsizetype k = 0; k < labelStarts.size(); ++k) {
        if (psl.isPublicSuffix(psl.list, name.constData() + labelStarts.at(k), PSL_TYPE_ICANN)) {
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
