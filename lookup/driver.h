#ifndef VANTOR_LOOKUP_DRIVER_H
#define VANTOR_LOOKUP_DRIVER_H

#include <QString>

#include "analysis/facts.h"
#include "whois/whoisinfo.h"

// How a lookup is to be made, besides where the servers are.
struct LookupOptions
{
    bool preferRdap = false; // RDAP first for every query it serves, whois when it fails
    QString firstServer;     // ask this whois server first (-h); no RDAP then
    quint16 firstPort = 0;
    // Where a server says to slow down (an RDAP 429 with a Retry-After of at
    // most kMaxRetryAfterS, a whois refusal), wait and ask it once more, as
    // a batch does. The window shows what the server said at once.
    bool backOff = false;
    // A kept answer fetched at most this long ago is shown without asking;
    // fresh asks the servers whatever is kept (the answer is kept still).
    qint64 maxAgeS = 24 * 3600;
    bool fresh = false;
    static constexpr int kMaxRetryAfterS = 120;
};

// The one place that chooses between whois and RDAP: whois first, RDAP where
// whois has nothing (no port-43 server, a server that fails or refuses, a
// registrar whose whois is gone), or RDAP first when the user prefers it.
// Runs the whole lookup on the calling thread; the engine then holds the
// result as after WhoisInfo::lookup(). Returns the facts of the answer it
// holds (analysis/facts.h), from RDAP's JSON where RDAP answered; noRecord,
// where given, says whether that answer is that no record exists (RDAP's
// "not found"): no answer to keep.
analysis::Facts runLookup(WhoisInfo &engine, const QString &typed, const LookupOptions &options,
                          bool *noRecord = nullptr);

// "whois.markmonitor.com (whois), after whois.verisign-grs.com": the server
// that gave the answer, and the ones asked before it.
QString sourceOf(const QList<WhoisInfo::Asked> &asked);
// The facts of an answer's text, as whois gives them; an answer kept from an
// earlier lookup gets its facts this way (RDAP's rendered text uses the
// same keys as a whois reply, so it gives the same facts).
analysis::Facts factsOfText(const QString &text, const QString &kind, const QList<WhoisInfo::Asked> &asked);

// Lets work that lookups started in the background (the refresh of IANA's
// RDAP files) finish for up to graceMs, then ends it. For a program about
// to exit.
void finishBackgroundWork(int graceMs);

#endif
