// Turns an accepted connection's message into e-mail in the Maildir outbox, holds the
// messages of senders who have not confirmed their address yet, and keeps custom picture
// registrations until they are confirmed. It works on threads of its own, so the transfer
// thread never waits for the disk: workers write what each client sent as it came, and
// one committing thread makes whatever is ready durable together (one journal commit, one
// catalogue transaction, one folder sync per batch) before it reports back. The e-mail,
// with its MP3, is composed from that afterwards, so no client waits for the encoder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/catalogue.h"
#include "server/durable_file.h"
#include "server/mail_compose.h"
#include "server/message.h"
#include "server/picture_registry.h"
#include "server/result.h"
#include "server/store.h"
#include "server/voice_mp3.h"

namespace murmel::server {

inline constexpr char kPictureClearedSubject[] = "Your custom message picture was cleared";
inline constexpr std::time_t kDay = std::time_t{24} * 60 * 60;
// How long held messages and sender confirmation links wait.
inline constexpr std::time_t kHeldLifetime = 7 * kDay;
// At most one confirmation e-mail per address in this time: the server must not become
// a way to flood someone's inbox.
inline constexpr std::time_t kConfirmationMailInterval = kDay;

struct DeliveryOptions {
  // The service's own address: From of every e-mail, its domain that of the Message-IDs.
  std::string mailFrom = "murmelpost@localhost";
  // Off only on closed networks: then anyone may send in anyone's name.
  bool verifySenders = true;
  std::time_t verifiedFor = 365 * kDay;
  // Threads that store what clients send, and as many that compose the e-mail from it
  // (CPU work: one per core is plenty). One more takes only small messages, so they never
  // queue behind a 16 MiB one.
  unsigned composers = 2;
  VoiceFormat voiceFormat = VoiceFormat::Mp3;
  // The shared store; nullopt: the state folder's own catalogue.
  std::optional<StoreLocation> database;
};

// What became of a submission: once durable, the file that holds it; else why not.
struct Acceptance {
  Result result;
  std::filesystem::path file;  // in new/ of the accepted, outbox or held folder
  bool held = false;           // until its sender confirms the address
};

// Runs on a delivery thread once the message is durable, or refused: it must not block.
using AcceptDone = std::function<void(Acceptance)>;

// What a sender confirmation link stands for.
struct SenderConfirmationView {
  std::string address;
  std::vector<CatalogueRow> held;  // oldest first
};

struct SenderConfirmationResult {
  bool found = false;  // false: unknown, used or expired link
  Result stored;
  std::string address;
  int delivered = 0;
};

// The e-mail for a voice message, before its trace and Message-ID.
MailContent VoiceMail(const Message& message, const DeliveryOptions& options, std::time_t now);
// The client's voice as a GSM WAV when mail carries it only as MP3; nothing otherwise.
std::optional<std::vector<std::uint8_t>> KeptVoice(const Message& message, const MailContent& mail);

class Delivery {
 public:
  explicit Delivery(std::filesystem::path stateDir, DeliveryOptions options = {},
                    WallClock clock = {});
  ~Delivery();  // Stop()
  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;

  // Creates the outbox, the held folder, the spool and the catalogue, and starts the
  // threads; Reconcile before the first Submit.
  Result Open();
  ReconcileSummary Reconcile();
  // done hears ok only once the message and its catalogue row are both durable; a refusal
  // leaves neither behind. The e-mail follows in new/ (or held/new/) once composed.
  // clientAddress is the peer's IP address as text.
  void Submit(Message message, std::string clientAddress, AcceptDone done);
  // The service's own e-mail (a delivery report): From and Date are the service's, and it
  // is stored like the others, on the committing thread.
  void SubmitNotice(MailContent mail, MessageKind kind);
  // Runs job on the committing thread, between batches: for work that needs the disk.
  void RunSerially(std::function<void()> job);
  // Ends the threads: a batch under way finishes, what waits is refused (its client will
  // never hear the answer, and sends it again), later submissions are refused too.
  void Stop();
  // Runs after each e-mail is durable in new/: it must not block. Set before the first
  // Accept.
  void OnDelivered(std::function<void()> hook) { onDelivered_ = std::move(hook); }

  // Where the confirmation links point ("http://host:8110"). Until it is set, picture
  // registrations and unverified senders are refused: a link nobody can open would
  // strand them.
  void ConfirmLinksAt(std::string baseUrl);
  PictureRegistry& pictures() { return pictures_; }

  // Sender confirmation, for the HTTP pages; safe beside Accept on another thread.
  std::optional<SenderConfirmationView> PendingSender(const std::string& token);
  SenderConfirmationResult ConfirmSender(const std::string& token);
  // Held messages past their time are dropped (state expired); returns how many.
  int ExpireHeld(Result& result);
  // Moves this server's held files whose rows another server sharing the store released
  // (the sender confirmed there), and drops those it expired; returns how many went out.
  int ReleaseHeld(Result& result);
  // The store's ShareRates, on the store's connection.
  std::vector<RateCount> ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                    std::int64_t& since, Result& result);
  bool sharedStore() const {
    return options_.database && options_.database->kind == StoreLocation::Kind::Postgresql;
  }

  std::filesystem::path outboxRoot() const { return outbox_.root(); }
  std::filesystem::path heldRoot() const { return held_.root(); }
  std::filesystem::path spoolFolder() const { return stateDir_ / "spool"; }
  // Accepted messages whose e-mail is not composed yet, each as its client sent it.
  std::filesystem::path acceptedFolder() const { return accepted_.root() / "new"; }
  // How many of them wait for a composer.
  std::size_t composing() const;
  // The client's GSM voice of each e-mail that carries only its MP3, as voices/<file>.wav:
  // the MP3 is a lossy copy, and nothing the client sent is lost.
  std::filesystem::path voiceFolder() const { return stateDir_ / "voices"; }
  const DeliveryOptions& options() const { return options_; }

 private:
  struct Request {
    Message message;
    std::string clientAddress;
    AcceptDone done;
  };
  // One file written into a tmp/, waiting for its batch: an accepted message, or an e-mail.
  struct Staged {
    std::string name;
    const Maildir* from = nullptr;  // whose tmp/ holds it
    // An e-mail composed from an accepted message: its row was written at acceptance.
    bool composed = false;
    CatalogueRow row;
    // Whose confirmation decides between the outbox and the held folder; empty for the
    // service's own mail, which goes out at once.
    std::string verifyingSender;
    const Maildir* target = nullptr;  // decided in the batch
    // The client's own voice, staged as tmp/<name>.wav, for voices/ beside the e-mail.
    bool keptVoice = false;
    Result result;
    bool held = false;
    std::filesystem::path file;  // once published
    AcceptDone done;
    Acceptance Answer() const { return {result, file, held}; }
  };

  // Any: what clients wait for; Small: only the small of that, so that a small message
  // never waits behind a 16 MiB one; Finish: the e-mail of accepted messages.
  enum class Lane { Any, Small, Finish };
  void ComposeLoop(Lane lane);
  void CommitLoop();
  Staged StageAccepted(Request& request);
  Staged ComposeAccepted(const std::string& name);
  // Writes the e-mail into tmp/ (under name, when given); fsync'd now when large (a batch
  // with it would wait).
  Staged Stage(MailContent mail, MessageKind kind, const std::string& clientAddress,
               std::string name = {});
  // Syncs the batch's files: an fsync each, or one sync of the file system for many.
  // Returns whether it was the latter, which also covers the folders.
  bool SyncStaged(std::vector<Staged*>& files);
  void Fail(Staged& staged, const std::string& why);
  // Each folder once (a batch's renames), or the file system when the batch had it synced.
  Result SyncFolders(std::vector<std::filesystem::path>& folders, bool wholeFileSystem);
  // Under mutex_: moves composed e-mail into the folder its row's state names now.
  void PublishComposed(std::vector<Staged>& composed);
  struct LinkFor {
    std::string address, clientAddress;
  };
  // Under mutex_. Rows, then files: a crash leaves either nothing or a published file with
  // its row, and the start-up's Reconcile removes a staged file and its row together.
  // Mails confirmation links to the held messages' senders and to links' addresses.
  // Returns the store's failure, which failed the whole batch.
  Result CommitBatch(std::vector<Staged>& batch, const std::vector<LinkFor>& links);
  // Under mutex_: the batch path for the service's own single e-mail.
  Acceptance StoreNotice(MailContent mail, MessageKind kind, const std::string& clientAddress);
  void RegisterPicture(Request& request);
  // Inside the batch's transaction: stages and records the link e-mail for the sender
  // unless one went out within the last day.
  Result AddConfirmationLink(const std::string& address, const std::string& clientAddress,
                             std::vector<Staged>& mail);
  bool Verified(const std::string& address, Result& result);
  MailContent Notice(const std::string& to, const std::string& clientAddress);
  std::string NextMessageId();
  // The shared store, or the state folder's own catalogue.
  StoreLocation StoreAt() const;
  int ExpireHeldLocked(Result& result);

  std::filesystem::path stateDir_;
  DeliveryOptions options_;
  WallClock clock_;
  Maildir outbox_;
  Maildir held_;
  Maildir accepted_;
  std::unique_ptr<Store> store_;
  PictureRegistry pictures_;
  std::string confirmBase_;
  std::atomic<std::uint64_t> mailCounter_{0};
  std::function<void()> onDelivered_;
  // The store's one connection and the counters: the committing thread and the HTTP
  // threads take turns.
  std::mutex mutex_;

  // The queues between the threads.
  mutable std::mutex queueMutex_;
  std::condition_variable composeReady_, commitReady_;
  std::deque<Request> toCompose_, toComposeSmall_;
  // Accepted messages by name, their e-mail still to compose.
  std::deque<std::string> toFinish_;
  std::size_t finishing_ = 0;  // taken from those, not yet published
  std::vector<Staged> toCommit_;
  std::deque<std::function<void()>> serial_;
  bool stopComposing_ = false, stopCommitting_ = false;
  std::vector<std::thread> composers_;
  std::thread committer_;
};

}  // namespace murmel::server
