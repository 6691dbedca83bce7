#ifndef VANTOR_LINEENDS_H
#define VANTOR_LINEENDS_H

#include <QString>

// Turns every line end of a reply (LF, CR LF, CR CR LF, a lone CR) into a
// single line feed.
void normaliseLineEnds(QString &text);

#endif
