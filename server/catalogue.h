// The catalogue: one store row per accepted e-mail, beside its file in the Maildir outbox.
// A message counts as accepted only once both exist; the relay records on the row what
// became of the file, and operators read the rows with --list.
#pragma once

#include <string>
#include <vector>

#include "server/store.h"

namespace murmel::server {

// The embedded store's file in the state folder, the default --database.
inline constexpr char kCatalogueFileName[] = "catalogue.sqlite3";

// What a stray outbox file says about itself, read from its headers: the kind from
// X-Murmelpost-Kind, the sender from Reply-To (else From), the recipients from To.
CatalogueRow RowFromMail(const std::string& mail);

// The rows as an aligned text table for the terminal, one line each: control characters
// in any field are shown escaped ("\x1B"), never sent to the terminal.
std::string FormatRows(const std::vector<CatalogueRow>& rows);

}  // namespace murmel::server
