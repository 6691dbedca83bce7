#ifndef VANTOR_RDAP_FACTS_H
#define VANTOR_RDAP_FACTS_H

#include <QByteArray>
#include <QJsonObject>

#include "analysis/facts.h"

namespace rdap {

// The facts of an RDAP domain, IP network or autnum reply, read from its JSON
// (events, entities by role, status, nameservers, secureDNS, the redacted
// array), not from the rendered text. Other objects give no facts.
analysis::Facts facts(const QJsonObject &object);
// The same from a reply's body; no facts where it is not a JSON object.
analysis::Facts factsOf(const QByteArray &body);

} // namespace rdap

#endif
