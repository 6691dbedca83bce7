#ifndef VANTOR_REFUSAL_H
#define VANTOR_REFUSAL_H

#include <QString>

#include <optional>

// A registry's refusal of a query, or its word that the client asks too
// often (or that it has no record), as the table resources/data/whois-refusals.tsv lists them.
struct RegistryRefusal
{
    bool rateLimit = false; // for now (ask later), not for good
};

// The refusal a reply announces, or nothing. Only a short reply can be one
// (a refusal is a few lines), and only a line that starts with a listed
// text counts, so a record that quotes the words in a remark is none.
std::optional<RegistryRefusal> registryRefusal(const QString &reply);

// Whether the reply says the registry holds no such record ("No match
// for", "%ERROR:101: no entries found"), by the same table and rules.
bool saysNoRecord(const QString &reply);

// Replies longer than this are answers, whatever they say.
constexpr qsizetype kRefusalMaxSize = 4096;

#endif
