#ifndef VANTOR_RDAP_REFRESH_H
#define VANTOR_RDAP_REFRESH_H

#include <QString>

// Keeps IANA's RDAP bootstrap files fresh. At the first RDAP lookup of a
// run, when the copies in the cache folder were last checked more than 7
// days ago, the files are fetched anew in the background, on the
// application's thread, and the tables are reloaded once they are in. A
// lookup never waits for this: the copy at hand serves meanwhile, and a
// failed or slow refresh changes nothing.
namespace rdap {

// Starts the refresh from baseUrl (ending in '/', the files appended) once
// per run, if it is due. Safe to call from any thread. Without an
// application object, or with an empty baseUrl, it does nothing.
void refreshOncePerRun(const QString &baseUrl, const QString &cacheFolder);

// The same, not limited to once: fetches the files if a refresh is due.
void refreshInBackground(const QString &baseUrl, const QString &cacheFolder);

} // namespace rdap

#endif
