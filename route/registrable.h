#ifndef VANTOR_ROUTE_REGISTRABLE_H
#define VANTOR_ROUTE_REGISTRABLE_H

#include <QString>

namespace route {

// The registrable domain of a lower-case ACE name ("www.example.co.uk" ->
// "example.co.uk"), or an empty text when the name is itself a public suffix
// ("co.uk", "com"). Only the ICANN part of the Public Suffix List counts: a
// registry holds "github.io", not the "user.github.io" beneath it.
QString registrableDomain(const QString &aceName);

} // namespace route

#endif
