#include "server/store.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <tuple>

#include "server/catalogue.h"
#include "server/durable_file.h"
#include "server/postgres_store.h"
#include "server/sqlite_store.h"

namespace murmel::server {
namespace {

constexpr std::array<const char*, 5> kKindNames = {
    "voice", "picture-confirmation", "picture-cleared", "sender-confirmation", "delivery-report"};
constexpr std::array<const char*, 5> kStateNames = {"new", "sent", "failed", "held", "expired"};
constexpr std::array<const char*, 2> kRateKindNames = {"address", "sender"};
constexpr std::array<const char*, 4> kRecipientStateNames = {"pending", "sent", "deferred",
                                                             "failed"};

template <std::size_t N>
int IndexOf(const std::array<const char*, N>& names, const std::string& value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (value == names.at(i)) return static_cast<int>(i);
  }
  return 0;
}

constexpr std::string_view kSqliteScheme = "sqlite:";
constexpr std::array<std::string_view, 2> kPostgresSchemes = {"postgresql://", "postgres://"};

bool IsPostgres(std::string_view text) {
  for (std::string_view scheme : kPostgresSchemes) {
    if (text.starts_with(scheme)) return true;
  }
  return false;
}

}  // namespace

const char* KindName(MessageKind kind) { return kKindNames.at(static_cast<std::size_t>(kind)); }
const char* StateName(MessageState state) {
  return kStateNames.at(static_cast<std::size_t>(state));
}
const char* RecipientStateName(RecipientState state) {
  return kRecipientStateNames.at(static_cast<std::size_t>(state));
}
MessageKind KindNamed(const std::string& name) {
  return static_cast<MessageKind>(IndexOf(kKindNames, name));
}
MessageState StateNamed(const std::string& name) {
  return static_cast<MessageState>(IndexOf(kStateNames, name));
}
RecipientState RecipientStateNamed(const std::string& name) {
  return static_cast<RecipientState>(IndexOf(kRecipientStateNames, name));
}

const char* RateKindName(RateKind kind) {
  return kRateKindNames.at(static_cast<std::size_t>(kind));
}
RateKind RateKindNamed(const std::string& name) {
  return static_cast<RateKind>(IndexOf(kRateKindNames, name));
}

std::vector<RateCount> MergedRates(std::vector<RateCount> counts) {
  const auto key = [](const RateCount& c) { return std::tie(c.kind, c.key, c.hour); };
  std::sort(counts.begin(), counts.end(),
            [&](const RateCount& a, const RateCount& b) { return key(a) < key(b); });
  std::vector<RateCount> merged;
  for (RateCount& count : counts) {
    if (!merged.empty() && key(merged.back()) == key(count)) {
      merged.back().count += count.count;
    } else {
      merged.push_back(std::move(count));
    }
  }
  return merged;
}

ReconcileSummary Store::Reconcile(const std::filesystem::path& outboxRoot,
                                  const std::filesystem::path& heldRoot,
                                  const std::filesystem::path& acceptedRoot) {
  ReconcileSummary summary;
  // One transaction: an outbox from before the store may hold thousands of files.
  if (summary.result = Begin(); !summary.result.ok) return summary;
  // A file still in tmp/ was never published, so its client never heard "TROK": its row,
  // if the commit got that far, goes with it.
  std::vector<std::filesystem::path> unfinished;
  for (const std::filesystem::path& root : {outboxRoot, heldRoot, acceptedRoot}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root / "tmp", error)) {
      unfinished.push_back(entry.path());
      const std::string name = entry.path().filename().string();
      if (root != acceptedRoot && std::filesystem::exists(acceptedRoot / "new" / name, error)) {
        continue;
      }
      if (summary.result = Remove(name); !summary.result.ok) break;
    }
  }
  const std::array<std::pair<std::filesystem::path, MessageState>, 4> folders = {{
      {outboxRoot / "new", MessageState::New},
      {outboxRoot / "sent", MessageState::Sent},
      {outboxRoot / "failed", MessageState::Failed},
      {heldRoot / "new", MessageState::Held},
  }};
  for (const auto& [folder, state] : folders) {
    if (!summary.result.ok) break;
    summary.result = AddMissing(folder, state, summary);
  }
  if (summary.result.ok) summary.result = Commit();
  if (!summary.result.ok) {
    Rollback();
    summary.added = summary.updated = 0;
    return summary;
  }
  for (const std::filesystem::path& file : unfinished) {
    if (summary.result = RemoveDurably(file); !summary.result.ok) break;
    ++summary.dropped;
  }
  return summary;
}

Result Store::AddMissing(const std::filesystem::path& folder, MessageState state,
                         ReconcileSummary& summary) {
  const std::string where = (folder.parent_path().filename() / folder.filename()).string() + "/";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with('.') || !entry.is_regular_file(error)) continue;
    Result found;
    const std::optional<CatalogueRow> known = Find(name, found);
    if (!found.ok) return found;
    if (known && known->state == state) continue;
    // Released by a confirmation on another server: the release sweep moves the file.
    if (known && state == MessageState::Held && known->state == MessageState::New) continue;
    if (known) {
      // Moved (by the relay, or out of held) but not recorded, or a crash in between.
      if (Result updated = SetState(name, state, "found in " + where); !updated.ok) {
        return updated;
      }
      // Moved back into new/ by hand: its failed recipients are to be tried again.
      if (state == MessageState::New &&
          (known->state == MessageState::Failed || known->state == MessageState::Sent)) {
        if (Result retried = RetryFailed(name); !retried.ok) return retried;
      }
      ++summary.updated;
      continue;
    }
    const std::string mail = ReadWholeFile(entry.path()).value_or(std::string());
    CatalogueRow row = RowFromMail(mail);
    row.file = name;
    row.size = static_cast<std::int64_t>(mail.size());
    row.state = state;
    // Maildir names begin with the second of delivery.
    std::time_t received = 0;
    for (const char c : name) {
      if (c < '0' || c > '9') break;
      received = received * 10 + (c - '0');
    }
    if (row.received == 0) row.received = received;
    if (Result inserted = Insert(row); !inserted.ok) return inserted;
    ++summary.added;
  }
  return {};
}

std::optional<StoreLocation> ParseStoreLocation(const std::string& text, std::string& error) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      error = "--database holds a control character";
      return std::nullopt;
    }
  }
  StoreLocation location;
  if (text.starts_with(kSqliteScheme)) {
    location.file = text.substr(kSqliteScheme.size());
    if (location.file.empty()) {
      error = "--database sqlite: needs a file (sqlite:/var/lib/murmelpost/catalogue.sqlite3)";
      return std::nullopt;
    }
    return location;
  }
  if (IsPostgres(text)) {
    location.kind = StoreLocation::Kind::Postgresql;
    location.uri = text;
    return location;
  }
  error = "--database " + RedactedLocation(text) +
          ": expected sqlite:PATH or postgresql://[user@]host[:port]/database";
  return std::nullopt;
}

std::string RedactedLocation(const std::string& text) {
  std::string out = text;
  // user:password@ in the authority.
  const std::size_t schemeEnd = out.find("://");
  if (schemeEnd != std::string::npos) {
    const std::size_t start = schemeEnd + 3;
    const std::size_t end = std::min(out.find_first_of("/?", start), out.size());
    const std::size_t at = out.rfind('@', end);
    const std::size_t colon = at == std::string::npos ? std::string::npos : out.find(':', start);
    if (at != std::string::npos && at >= start && colon < at) {
      out.replace(colon + 1, at - colon - 1, "***");
    }
  }
  // password=... among URI parameters, or in a key=value string given by mistake.
  constexpr std::string_view kKey = "password=";
  for (std::size_t at = out.find(kKey); at != std::string::npos; at = out.find(kKey, at + 1)) {
    const std::size_t value = at + kKey.size();
    const std::size_t end = std::min(out.find_first_of("& \t", value), out.size());
    out.replace(value, end - value, "***");
  }
  return out;
}

std::unique_ptr<Store> MakeStore(const StoreLocation& location) {
  if (location.kind == StoreLocation::Kind::Postgresql) {
    return std::make_unique<PostgresStore>(location.uri);
  }
  return std::make_unique<SqliteStore>(location.file);
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string out;
  for (const std::string& address : addresses) {
    if (!out.empty()) out += ", ";
    out += address;
  }
  return out;
}

std::vector<std::string> SplitAddresses(const std::string& joined) {
  std::vector<std::string> addresses;
  if (joined.empty()) return addresses;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < joined.size(); ++i) {
    const char c = joined[i];
    if (quoted && c == '\\' && i + 1 < joined.size()) {
      current += c;
      current += joined[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ',' && i + 1 < joined.size() && joined[i + 1] == ' ') {
      addresses.push_back(std::move(current));
      current.clear();
      ++i;
      continue;
    }
    current += c;
  }
  addresses.push_back(std::move(current));
  return addresses;
}

}  // namespace murmel::server
