#ifndef VANTOR_STORE_ROW_H
#define VANTOR_STORE_ROW_H

#include <QSqlQuery>

#include <optional>

#include "store/answerstore.h"

// An answer to and from a row of the store's table.
namespace store::detail {

// Binds the answer to Connection's insert statement; used is the time of last use.
void bindAnswer(QSqlQuery &insert, const Answer &answer, qint64 used);
// The answer of the query's current row, of the columns kColumns names.
// nullopt for a row whose texts cannot be read back whole.
std::optional<Answer> readAnswer(const QSqlQuery &row);
// A text as the store keeps it: UTF-16, so it comes back exactly.
QByteArray textBlob(const QString &text);
// The address as the range columns store it: 16 bytes in network order.
QByteArray addressBlob(const QHostAddress &address);
// 4 or 6, or 0 for no address.
int familyOf(const QHostAddress &address);

} // namespace store::detail

#endif
