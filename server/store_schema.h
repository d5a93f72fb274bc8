// The parts of the tables that both backends write alike: the same names are valid in
// either, and rows are read back in the same column order.
#pragma once

// Whatever the integer type of the backend, a message's columns after its id and received.
#define MURMEL_MESSAGE_COLUMNS(INTEGER)                                                  \
  "  kind TEXT NOT NULL CHECK (kind IN ('voice', 'picture-confirmation', "               \
  "'picture-cleared', 'sender-confirmation', 'delivery-report')),"                       \
  "  sender TEXT NOT NULL,"                                                              \
  "  recipients TEXT NOT NULL,"                                                          \
  "  subject TEXT NOT NULL,"                                                             \
  "  file TEXT NOT NULL UNIQUE,"                                                         \
  "  size " INTEGER                                                                      \
  " NOT NULL,"                                                                           \
  "  state TEXT NOT NULL CHECK (state IN ('new', 'sent', 'failed', 'held', 'expired'))," \
  "  reason TEXT NOT NULL DEFAULT '',"                                                   \
  "  client_address TEXT NOT NULL DEFAULT '');"

// The columns the backends' row readers take, in their order.
#define MURMEL_ROW_COLUMNS                                                                       \
  "id, received, kind, sender, recipients, subject, file, size, state, reason, client_address, " \
  "(SELECT count(*) FROM recipients r WHERE r.file = messages.file), "                           \
  "(SELECT count(*) FROM recipients r WHERE r.file = messages.file AND r.state = 'sent')"

// Each recipient of a relayed file, so that one refusal or deferral is that recipient's
// alone and a restart never sends twice to those already served.
#define MURMEL_RECIPIENTS_TABLE(INTEGER)                                              \
  "CREATE TABLE recipients ("                                                         \
  "  file TEXT NOT NULL,"                                                             \
  "  address TEXT NOT NULL,"                                                          \
  "  state TEXT NOT NULL CHECK (state IN ('pending', 'sent', 'deferred', 'failed'))," \
  "  attempts INTEGER NOT NULL DEFAULT 0,"                                            \
  "  reply TEXT NOT NULL DEFAULT '',"                                                 \
  "  next_attempt " INTEGER                                                           \
  " NOT NULL DEFAULT 0,"                                                              \
  "  PRIMARY KEY (file, address));"

// Accepted messages per hour of each client address and sender, summed over the servers;
// touched is the store's clock (ms) at the last change, for the servers' refreshes.
#define MURMEL_RATE_TABLE(INTEGER)                              \
  "CREATE TABLE rate_counts ("                                  \
  "  kind TEXT NOT NULL CHECK (kind IN ('address', 'sender'))," \
  "  key TEXT NOT NULL,"                                        \
  "  hour " INTEGER                                             \
  " NOT NULL,"                                                  \
  "  count " INTEGER                                            \
  " NOT NULL,"                                                  \
  "  touched " INTEGER                                          \
  " NOT NULL,"                                                  \
  "  PRIMARY KEY (kind, key, hour));"                           \
  "CREATE INDEX rate_counts_by_touched ON rate_counts (touched);"

// Each sender's custom picture (key: its PictureKey), confirmed or waiting for the link
// mailed with token; the bytes themselves, so that any server can confirm and send it.
#define MURMEL_PICTURES_TABLE(INTEGER, BLOB)              \
  "CREATE TABLE pictures ("                               \
  "  key TEXT NOT NULL,"                                  \
  "  pending INTEGER NOT NULL CHECK (pending IN (0, 1))," \
  "  sender TEXT NOT NULL,"                               \
  "  token TEXT NOT NULL DEFAULT '',"                     \
  "  registered " INTEGER                                 \
  " NOT NULL,"                                            \
  "  bytes " BLOB                                         \
  " NOT NULL,"                                            \
  "  PRIMARY KEY (key, pending));"                        \
  "CREATE UNIQUE INDEX pictures_by_token ON pictures (token) WHERE token <> '';"

#define MURMEL_SENDERS_TABLE(INTEGER) \
  "CREATE TABLE senders ("            \
  "  key TEXT PRIMARY KEY,"           \
  "  verified_until " INTEGER         \
  " NOT NULL DEFAULT 0,"              \
  "  token TEXT NOT NULL DEFAULT ''," \
  "  mailed_at " INTEGER              \
  " NOT NULL DEFAULT 0);"             \
  "CREATE UNIQUE INDEX senders_by_token ON senders (token) WHERE token <> '';"
