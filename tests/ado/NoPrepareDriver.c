/* An ODBC driver that cannot prepare: the PostgreSQL driver, linked in whole, with a
   preparation of its own that always fails. The driver manager finds these two entry points
   first and every other one in the PostgreSQL driver. */
#include <sql.h>

static int refused;

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  (void)stmt;
  (void)text;
  (void)length;
  ++refused;
  return SQL_ERROR;
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  (void)stmt;
  (void)text;
  (void)length;
  ++refused;
  return SQL_ERROR;
}

/* How many preparations were refused since the driver was loaded. */
int RefusedPrepares(void) {
  return refused;
}
