#ifndef VANTOR_RDAP_RENDER_H
#define VANTOR_RDAP_RENDER_H

#include <QByteArray>
#include <QString>

// An RDAP reply (RFC 9083 JSON) as the "key: value" text the result area
// shows, made so that summarise() and formatText() treat it like a whois
// reply. No network, no widgets.
//
// The text is paragraphs separated by blank lines:
//  1. The object itself. A domain in the words of a gTLD registry's whois
//     ("Domain Name:", "Registry Domain ID:", "Creation Date:", "Registry
//     Expiry Date:", "Domain Status:", "Name Server:", "DNSSEC:"). A network
//     or an AS number in ARIN's ("NetRange: <start> - <end>", "CIDR: a/n, b/m",
//     "NetName:", "NetHandle:", "Parent:", "NetType:", "Country: <code>";
//     "ASNumber:", "ASName:", "ASHandle:"), so the summary takes the range and
//     the country from this first paragraph. Remarks follow as "% " lines.
//  2. One paragraph per entity, in the server's order. Each role gets the
//     card's lines under its own prefix: "Registrar:", "Registrar IANA ID:",
//     "Registrant Name:", "Registrant Street:", "Tech Email:", "Admin Phone:
//     <number> (voice)" for domains; "OrgName:", "OrgId:", "OrgTechEmail:",
//     "AbuseEmail:" with unprefixed "Address:", "City:", "StateProv:",
//     "PostalCode:" and "Country:" for networks, AS numbers and entities, as
//     ARIN writes an organisation. Nested entities take their parent's prefix
//     ("Registrar Abuse Contact Email:", "OrgAbuseEmail:"): in a domain they
//     stay in the parent's paragraph, elsewhere they get their own.
//     Nameservers of a domain with more than a name and addresses, and an
//     entity's networks and AS numbers, get paragraphs of their own.
//  3. Where the server redacted something (RFC 9537): fields it removed that
//     no line shows, as "<name>: REDACTED", and one "% Redacted: ..." line per
//     redaction. Inside the paragraphs above, an empty value a redaction
//     names, or any empty card value of a contact a redaction covers, reads
//     "REDACTED", and a removed card field shows as its line with "REDACTED".
//  4. "rdapConformance: ...", then each notice as "% " lines.
// Members the renderer does not know show as "key: value" too ("port43:",
// "lang:", "arin_originas0_originautnums:"), nested ones as "a.b: value".
// Search results give one group of paragraphs per result; an error body gives
// "Error Code: <n>" and its title and description as "% " lines.
// Line ends inside values become blanks; the text holds no CR.
namespace rdap {

struct Rendered
{
    bool ok = false;       // false: the body is not JSON, or not an RDAP reply
    QString error;         // one line for the status bar when !ok
    QString text;          // the key: value text, ending with '\n', when ok
    QString registrarLink; // domains: the first top-level "related" link of type
                           // application/rdap+json with an http(s) address, the
                           // registrar's record; else empty
};

Rendered render(const QByteArray &body);

// An error body's title and description lines as "% " comment lines for the
// result area; empty when the body holds neither.
QString errorDetails(const QByteArray &body);

} // namespace rdap

#endif
