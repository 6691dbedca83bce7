#ifndef VANTOR_LOOKUP_KEPT_H
#define VANTOR_LOOKUP_KEPT_H

#include <QDateTime>
#include <QString>

#include <optional>

#include "lookup/runner.h"

// Answers kept between lookups and runs (store/answerstore.h): what a
// lookup asks before it sends anything, and what it keeps after.
namespace kept {

// Whether lookups with these endpoints and options read and write kept
// answers: not where the user named the server (-h), whose answer is the
// one they asked for.
bool inUse(const WhoisEndpoints &endpoints, const LookupOptions &options);

// The store's file for these endpoints.
QString storePath(const WhoisEndpoints &endpoints);

// The endpoints' clock, or the real one.
QDateTime now(const WhoisEndpoints &endpoints);

// "less than a minute", "1 minute", "5 hours", "3 days".
QString ageText(qint64 seconds);

// A kept answer to typed, fetched at most options.maxAgeS ago, as a
// finished lookup's result (stored set); nothing where none fits, where
// options.fresh asks the servers, or where answers are not in use. notice
// gets what the store has to say once (a damaged file moved aside).
std::optional<LookupResult> find(const QString &typed, const WhoisEndpoints &endpoints, const LookupOptions &options,
                                 QString &notice);

// Keeps result where it is an answer with a record; noRecord and
// hopFailed say what the result does not. Sets result.fetched and, where
// the store has something to say (a write that failed), result.notice.
void keep(LookupResult &result, bool noRecord, bool hopFailed, const WhoisEndpoints &endpoints,
          const LookupOptions &options);

// Empties the store; an empty text, or why it could not.
QString clear(const WhoisEndpoints &endpoints);

} // namespace kept

#endif
