#ifndef VANTOR_RDAP_REFRESH_H
#define VANTOR_RDAP_REFRESH_H

#include <QString>

#include "net/proxy.h"
#include "net/resolver.h"

// Keeps IANA's RDAP bootstrap files fresh. At the first RDAP lookup of a
// run, the files whose copies in the cache folder were last checked more
// than 7 days ago are fetched anew, one after another, on a thread of their
// own; each is kept as it arrives, and the tables are reloaded at the end.
// A lookup never waits for this: the copy at hand serves meanwhile, and a
// failed or slow refresh changes nothing. A run that ends first leaves the
// missing files to the next run.
namespace rdap {

// Starts the refresh from baseUrl (ending in '/', the files appended) once
// per run, if it is due. Safe to call from any thread. Without an
// application object, or with an empty baseUrl, it does nothing. resolve
// turns names into addresses; unset, the system's resolver does. The files
// come through the lookups' proxy, where one is set.
void refreshOncePerRun(const QString &baseUrl, const QString &cacheFolder, const HostResolver &resolve = {},
                       const net::ProxySettings &proxy = {});

// The same, not limited to once: fetches the files that are due, unless a
// refresh is running already.
void refreshInBackground(const QString &baseUrl, const QString &cacheFolder, const HostResolver &resolve = {},
                         const net::ProxySettings &proxy = {});

// Ends a refresh that is still running, and returns when it has ended. One
// that is fetching a file may go on for up to graceMs; one that still waits
// for the name of IANA's server is stopped at once. Called with 0 on its own
// when the application object goes, so no refresh outlives it.
void finishRefresh(int graceMs);

} // namespace rdap

#endif
