#pragma once
// What the library itself needs of a libpq session beyond the object model: the connection,
// for PostgreSQL's bulk copy (COPY ... FROM STDIN), and its failures as the provider reports
// them.
#include <libpq-fe.h>

#include "QuillData/ado/Provider.h"

namespace QuillData::ado::libpq {

// The connection of a session of the libpq provider; nullptr for another provider's session.
PGconn* Raw(Session& session);

// Throws the QuillError of a failure on the session's connection: the result's message and
// SQLSTATE when there is a result, else the connection's message. A failure that shows the
// connection gone marks the session lost.
[[noreturn]] void Fail(Session& session, const PGresult* result);

}  // namespace QuillData::ado::libpq
