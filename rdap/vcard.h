#ifndef VANTOR_RDAP_VCARD_H
#define VANTOR_RDAP_VCARD_H

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace rdap::detail {

// One postal address of a contact card.
struct PostalAddress
{
    QStringList street; // post office box, extended address and street, a line each
    QString city;
    QString region;
    QString postalCode;
    QString country;
    QStringList label; // the formatted lines, used where the parts are all empty

    bool partsEmpty() const;
};

struct Phone
{
    QString number;
    QString types; // "work, voice"
    bool fax = false;
};

// What the renderer shows of an entity's jCard (RFC 7095):
// ["vcard", [[name, parameters, type, value...], ...]].
struct Card
{
    bool present = false;  // a property list was found
    bool hasName = false;  // an "fn" property, even an empty one
    QStringList names;     // fn
    QStringList orgs;      // org
    QList<PostalAddress> addresses;
    QList<Phone> phones;
    QStringList emails;
    QList<QPair<QString, QString>> other; // a word for the key, the value
};

// Tolerates every wrong shape: what cannot be read as a property goes to
// "other" as its JSON text, so it still shows.
Card parseCard(const QJsonValue &vcardArray);

// The label's last line when it names a country (by the program's country
// table, name or two-letter code), else empty.
QString labelCountry(const QStringList &label);

} // namespace rdap::detail

#endif
