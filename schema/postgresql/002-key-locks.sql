-- Version 2: a function that looks a row up before it writes holds the row's natural key
-- until its transaction ends, so that callers with the same arguments at once leave one row
-- and each gets its identifier. The functions themselves come from postgresql.sql, which an
-- upgrade loads again after its numbered scripts; the lock they share is new.
CREATE OR REPLACE FUNCTION quill_lock_key(family text, key text)
RETURNS void LANGUAGE sql AS $$
  SELECT pg_advisory_xact_lock(hashtext(family), hashtext(key));
$$;
