#include "server/delivery.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "server/accepted_message.h"
#include "server/cartoons.h"
#include "server/code_page.h"
#include "server/delivery_report.h"
#include "server/durable_file.h"
#include "server/metrics.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

constexpr char kServiceName[] = "Murmelpost";

std::string PictureFileName(const std::string& mimeType) {
  if (mimeType == "image/jpeg") return "picture.jpg";
  if (mimeType == "image/gif") return "picture.gif";
  return "picture.bin";
}

std::string Domain(const std::string& address) { return address.substr(address.rfind('@') + 1); }

std::string MailDate(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 64> text{};
  std::strftime(text.data(), text.size(), "%a, %d %b %Y %H:%M:%S +0000", &parts);
  return text.data();
}

// The trace line a mail system adds for the hop from the client: who handed the message
// over, to whom, and when.
std::string ReceivedFrom(const std::string& clientAddress, const std::string& serviceDomain,
                         std::time_t when) {
  const bool v6 = clientAddress.find(':') != std::string::npos;
  return "from [" + std::string(v6 ? "IPv6:" : "") + clientAddress + "] by " + serviceDomain +
         " (Murmelpost) with MURMELPOST; " + MailDate(when);
}

// The text upload, converted and without a NUL (the session refused those).
std::string MessageText(const Message& message) {
  const Upload* text = message.Find(kUploadText);
  if (text == nullptr) return {};
  const std::vector<std::uint8_t> bytes = message.Bytes(*text);
  return ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                message.codePage());
}

// "Voice message, 0:42": mail programs show it beside the attachment.
std::string VoiceDescription(double seconds) {
  const long total = std::lround(seconds);
  std::array<char, 48> text{};
  if (total >= 3600) {
    std::snprintf(text.data(), text.size(), "Voice message, %ld:%02ld:%02ld", total / 3600,
                  total / 60 % 60, total % 60);
  } else {
    std::snprintf(text.data(), text.size(), "Voice message, %ld:%02ld", total / 60, total % 60);
  }
  return text.data();
}

// "Voice message, 0:42, attached as voice.mp3": the length from the image's header and
// size, so the voice is not read a second time.
std::string VoiceNote(const Message& message, const Upload& voice,
                      const std::vector<MailAttachment>& attachments) {
  constexpr std::uint64_t kHeaderBytes = 60;
  const auto header = message.spool
                          ? message.spool->Read(voice.offset, std::min(voice.size, kHeaderBytes))
                          : std::vector<std::uint8_t>();
  const auto milliseconds = VoiceImageMilliseconds(header, voice.size);
  const std::string note =
      milliseconds ? VoiceDescription(*milliseconds / 1000.0) : std::string("Voice message");
  // The voice goes first; its name depends on the format it was converted to.
  return attachments.empty() ? note : note + ", attached as " + attachments.front().fileName;
}

}  // namespace

MailContent VoiceMail(const Message& message, const DeliveryOptions& options, std::time_t now) {
  MailContent mail;
  const std::string& name = message.sender.name;
  // The service sends, the sender gets the replies: mail claiming to be From a domain
  // that publishes DMARC would otherwise be rejected as the forgery it would be.
  mail.from = {(name.empty() ? "" : name + " via ") + kServiceName, options.mailFrom};
  mail.replyTo = message.sender;
  mail.to = message.recipients;
  mail.subject = message.subject;
  mail.date = now;
  mail.kind = KindName(MessageKind::Voice);
  mail.text = MessageText(message);
  if (const Upload* voice = message.Find(kUploadVoice)) {
    std::vector<std::uint8_t> bytes = message.Bytes(*voice);
    std::optional<VoiceMp3> mp3;
    if (options.voiceFormat != VoiceFormat::Wav) mp3 = VoiceImageToMp3(bytes);
    if (mp3) {
      mail.attachments.push_back(
          {"voice.mp3", "audio/mpeg", std::move(mp3->bytes), VoiceDescription(mp3->seconds)});
    }
    // A voice that did not become an MP3 goes out as it came: nothing is lost.
    if (!mp3 || options.voiceFormat == VoiceFormat::Both) {
      if (auto wav = VoiceImageToWav(bytes)) {
        mail.attachments.push_back({"voice.wav", "audio/wav", std::move(*wav)});
      } else {
        // Not a voice image we understand: pass it on untouched rather than drop it.
        mail.attachments.push_back({"voice.bin", "application/octet-stream", std::move(bytes)});
      }
    }
  }
  if (const Upload* voice = message.Find(kUploadVoice)) {
    mail.voiceNote = VoiceNote(message, *voice, mail.attachments);
  }
  if (const Upload* file = message.Find(kUploadFile)) {
    const std::string fileName = ToUtf8(file->fileName, message.codePage());
    mail.attachments.push_back({SafeFileName(fileName, "attachment.bin"),
                                "application/octet-stream", message.Bytes(*file)});
  }
  return mail;
}

std::optional<std::vector<std::uint8_t>> KeptVoice(const Message& message,
                                                   const MailContent& mail) {
  const Upload* voice = message.Find(kUploadVoice);
  const bool onlyMp3 =
      std::none_of(mail.attachments.begin(), mail.attachments.end(), [](const auto& attachment) {
        return attachment.fileName == "voice.wav" || attachment.fileName == "voice.bin";
      });
  if (voice == nullptr || !onlyMp3) return std::nullopt;
  return VoiceImageToWav(message.Bytes(*voice));
}

namespace {

// A submission refused before anything of it was stored.
Acceptance Refused(std::string why) { return {{false, std::move(why)}, {}, false}; }

// Larger e-mails are fsync'd by the thread that wrote them: a batch of small ones should
// not wait behind sixteen megabytes.
constexpr std::size_t kSyncWhileStaging = std::size_t{1024} * 1024;
// Uploads up to this size are composed in a lane of their own.
constexpr std::uint64_t kSmallMessage = std::uint64_t{128} * 1024;
// Accepted messages whose e-mail waits: beyond this many, the threads that serve clients
// compose too, so that the backlog on disk and its names in memory stay bounded.
constexpr std::size_t kBacklogBound = 50000;
constexpr int kFinishingNice = 10;
// Below this many files a batch fsyncs each; from here on one sync of the file system is
// cheaper, though it also writes out what others left dirty (such as large uploads).
constexpr std::size_t kSyncFileSystemFrom = 8;

Result CreateFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return {false, "cannot create " + folder.string() + ": " + error.message()};
  return {};
}

}  // namespace

Delivery::Delivery(std::filesystem::path stateDir, DeliveryOptions options, WallClock clock)
    : stateDir_(std::move(stateDir)),
      options_(std::move(options)),
      clock_(clock ? std::move(clock) : WallClock([] { return std::time(nullptr); })),
      outbox_(stateDir_ / "outbox"),
      held_(stateDir_ / "held"),
      accepted_(stateDir_ / "accepted"),
      store_(MakeStore(StoreAt())),
      pictures_(StoreAt(), stateDir_ / "pictures", clock_) {}

StoreLocation Delivery::StoreAt() const {
  return options_.database.value_or(
      StoreLocation{StoreLocation::Kind::Sqlite, stateDir_ / kCatalogueFileName, {}});
}

Delivery::~Delivery() { Stop(); }

Result Delivery::Open() {
  Result result = outbox_.Create();
  if (result.ok) result = held_.Create();
  if (result.ok) result = accepted_.Create();
  if (result.ok) result = CreateFolder(spoolFolder());
  if (result.ok) result = CreateFolder(voiceFolder());
  if (result.ok) result = store_->Open();
  if (result.ok) result = pictures_.Open();
  if (!result.ok || committer_.joinable()) return result;
  for (unsigned i = 0; i < std::max(1U, options_.composers); ++i) {
    composers_.emplace_back([this] { ComposeLoop(Lane::Any); });
    composers_.emplace_back([this] { ComposeLoop(Lane::Finish); });
  }
  composers_.emplace_back([this] { ComposeLoop(Lane::Small); });
  committer_ = std::thread([this] { CommitLoop(); });
  return result;
}

void Delivery::Stop() {
  // What no client will hear about is dropped, not stored: its client sends it again.
  std::deque<Request> dropped;
  {
    const std::lock_guard lock(queueMutex_);
    stopComposing_ = true;
    dropped.swap(toCompose_);
    for (Request& request : toComposeSmall_) dropped.push_back(std::move(request));
    toComposeSmall_.clear();
    // Accepted already: composed at the next start.
    toFinish_.clear();
  }
  composeReady_.notify_all();
  for (Request& request : dropped) request.done(Refused("the server is stopping"));
  for (std::thread& composer : composers_) composer.join();
  composers_.clear();
  {
    const std::lock_guard lock(queueMutex_);
    stopCommitting_ = true;
    serial_.clear();
  }
  commitReady_.notify_all();
  if (committer_.joinable()) committer_.join();
}

ReconcileSummary Delivery::Reconcile() {
  const std::lock_guard lock(mutex_);
  ReconcileSummary summary = store_->Reconcile(outbox_.root(), held_.root(), accepted_.root());
  if (!summary.result.ok) return summary;
  // An accepted message whose e-mail was published before the crash only lost its unlink.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(acceptedFolder(), error)) {
    const std::string name = entry.path().filename().string();
    bool published = false;
    for (const std::filesystem::path& folder : {outbox_.root() / "new", outbox_.root() / "sent",
                                                outbox_.root() / "failed", held_.root() / "new"}) {
      published = published || std::filesystem::exists(folder / name, error);
    }
    const auto row = store_->Find(name, summary.result);
    if (!summary.result.ok) return summary;
    if (published || (row && row->state == MessageState::Expired)) {
      ::unlink(entry.path().c_str());
      continue;
    }
    {
      const std::lock_guard queued(queueMutex_);
      toFinish_.push_back(name);
    }
    ++summary.resumed;
  }
  if (summary.resumed > 0) composeReady_.notify_all();
  return summary;
}

std::size_t Delivery::composing() const {
  const std::lock_guard lock(queueMutex_);
  return toFinish_.size() + finishing_;
}

void Delivery::ConfirmLinksAt(std::string baseUrl) {
  while (baseUrl.ends_with('/')) baseUrl.pop_back();
  confirmBase_ = std::move(baseUrl);
}

void Delivery::Submit(Message message, std::string clientAddress, AcceptDone done) {
  {
    const std::lock_guard lock(queueMutex_);
    if (!stopComposing_ && committer_.joinable()) {
      const bool small = !message.spool || message.spool->size() <= kSmallMessage;
      (small ? toComposeSmall_ : toCompose_)
          .push_back({std::move(message), std::move(clientAddress), std::move(done)});
      // Every composer may take a small one, only some a large one: wake them all.
      composeReady_.notify_all();
      return;
    }
  }
  done(Refused("the server is stopping"));
}

void Delivery::SubmitNotice(MailContent mail, MessageKind kind) {
  mail.from = {kServiceName, options_.mailFrom};
  mail.date = clock_();
  auto shared = std::make_shared<MailContent>(std::move(mail));
  RunSerially([this, shared, kind] {
    const std::lock_guard lock(mutex_);
    StoreNotice(std::move(*shared), kind, "");
  });
}

void Delivery::RunSerially(std::function<void()> job) {
  {
    const std::lock_guard lock(queueMutex_);
    if (stopCommitting_) return;
    serial_.push_back(std::move(job));
  }
  commitReady_.notify_one();
}

void Delivery::ComposeLoop(Lane lane) {
  if (lane == Lane::Finish) {
    // Nobody waits for these: the threads that answer clients come first for the CPU.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kFinishingNice);
  }
  for (;;) {
    std::optional<Request> request;
    std::string finishing;
    {
      std::unique_lock lock(queueMutex_);
      auto next = [&]() -> std::deque<Request>* {
        if (lane == Lane::Any && !toCompose_.empty()) return &toCompose_;
        return lane == Lane::Finish || toComposeSmall_.empty() ? nullptr : &toComposeSmall_;
      };
      // Past the bound the backlog is everyone's, so that it stops growing.
      auto finish = [&] {
        return !toFinish_.empty() && (lane == Lane::Finish || toFinish_.size() >= kBacklogBound);
      };
      composeReady_.wait(lock, [&] { return stopComposing_ || next() != nullptr || finish(); });
      if (stopComposing_) return;
      if (finish()) {
        finishing = std::move(toFinish_.front());
        toFinish_.pop_front();
        ++finishing_;
      } else {
        std::deque<Request>* queue = next();
        request = std::move(queue->front());
        queue->pop_front();
      }
    }
    if (request && request->message.IsPictureRegistration()) {
      // Rare, and it changes the registry: done whole, in turn with the batches.
      auto shared = std::make_shared<Request>(std::move(*request));
      RunSerially([this, shared] {
        const std::lock_guard lock(mutex_);
        RegisterPicture(*shared);
      });
      continue;
    }
    Staged staged = request ? StageAccepted(*request) : ComposeAccepted(finishing);
    if (staged.composed && !staged.result.ok) {  // left in accepted/ for the next start
      const std::lock_guard lock(queueMutex_);
      --finishing_;
      continue;
    }
    {
      const std::lock_guard lock(queueMutex_);
      toCommit_.push_back(std::move(staged));
    }
    commitReady_.notify_one();
  }
}

void Delivery::CommitLoop() {
  for (;;) {
    std::vector<Staged> batch;
    std::function<void()> job;
    bool stopping = false;
    {
      std::unique_lock lock(queueMutex_);
      commitReady_.wait(
          lock, [this] { return stopCommitting_ || !toCommit_.empty() || !serial_.empty(); });
      stopping = stopCommitting_;
      if (!stopping && !serial_.empty()) {
        job = std::move(serial_.front());
        serial_.pop_front();
      } else {
        batch.swap(toCommit_);
      }
    }
    if (stopping) {
      for (Staged& staged : batch) {
        Fail(staged, "the server is stopping");
        if (staged.done) staged.done(staged.Answer());
      }
      return;
    }
    if (job) {
      job();
      continue;
    }
    const auto split = std::stable_partition(batch.begin(), batch.end(),
                                             [](const Staged& one) { return !one.composed; });
    std::vector<Staged> composed(std::make_move_iterator(split),
                                 std::make_move_iterator(batch.end()));
    batch.erase(split, batch.end());
    {
      const std::lock_guard lock(mutex_);
      if (!batch.empty()) CommitBatch(batch, {});
      if (!composed.empty()) PublishComposed(composed);
    }
    // The batch's accepted messages wait for their e-mail; what was composed waits no more.
    {
      const std::lock_guard lock(queueMutex_);
      finishing_ -= composed.size();
      for (const Staged& staged : batch) {
        if (staged.from == &accepted_ && staged.result.ok) toFinish_.push_back(staged.name);
      }
    }
    composeReady_.notify_all();
    for (Staged& staged : batch) {
      if (staged.done) staged.done(staged.Answer());
    }
  }
}

std::string Delivery::NextMessageId() {
  return std::to_string(clock_()) + "." + std::to_string(::getpid()) + "." +
         std::to_string(++mailCounter_) + "@" + Domain(options_.mailFrom);
}

MailContent Delivery::Notice(const std::string& to, const std::string& clientAddress) {
  MailContent mail;
  mail.from = {kServiceName, options_.mailFrom};
  mail.to = {to};
  mail.date = clock_();
  if (!clientAddress.empty()) {
    mail.received = ReceivedFrom(clientAddress, Domain(options_.mailFrom), mail.date);
  }
  return mail;
}

Delivery::Staged Delivery::StageAccepted(Request& request) {
  Staged staged;
  staged.name = accepted_.NewName();
  staged.from = &accepted_;
  staged.verifyingSender = request.message.sender.address;
  staged.done = std::move(request.done);
  const std::uint64_t size = request.message.spool ? request.message.spool->size() : 0;
  CatalogueRow& row = staged.row;
  row.received = clock_();
  row.kind = MessageKind::Voice;
  row.sender = request.message.sender.address;
  row.recipients = JoinAddresses(request.message.recipients);
  row.subject = request.message.subject;
  row.file = staged.name;
  row.size = static_cast<std::int64_t>(size);
  row.clientAddress = request.clientAddress;
  const AcceptedMessage accepted{std::move(request.message), row.received, request.clientAddress};
  const Result saved =
      SaveAccepted(accepted, accepted_.root() / "tmp" / staged.name, size >= kSyncWhileStaging);
  staged.result = saved;
  return staged;
}

Delivery::Staged Delivery::ComposeAccepted(const std::string& name) {
  std::string why;
  const std::optional<AcceptedMessage> accepted = LoadAccepted(acceptedFolder() / name, why);
  if (!accepted) {
    Staged failed;
    failed.composed = true;
    failed.result = {false, why};
    return failed;
  }
  const Message& message = accepted->message;
  MailContent mail = VoiceMail(message, options_, accepted->received);
  mail.received = ReceivedFrom(accepted->clientAddress, Domain(options_.mailFrom), mail.date);
  // A confirmed picture goes inline with every message of its sender; a cartoon otherwise.
  const std::string& sender =
      message.sender.name.empty() ? message.sender.address : message.sender.name;
  if (auto bytes = pictures_.Active(message.sender.address)) {
    const std::string type = PictureMimeType(*bytes);
    mail.picture = {PictureFileName(type), type, std::move(*bytes)};
    mail.pictureAlt = "Picture of " + sender;
  } else {
    Picture cartoon = RandomCartoon();
    mail.pictureAlt = "A cartoon " + cartoon.fileName.substr(0, cartoon.fileName.find('.'));
    mail.picture = {std::move(cartoon.fileName), std::move(cartoon.mimeType),
                    std::move(cartoon.bytes)};
  }
  const auto kept = KeptVoice(message, mail);
  Staged staged = Stage(std::move(mail), MessageKind::Voice, accepted->clientAddress, name);
  staged.composed = true;
  if (kept && staged.result.ok) {
    const std::filesystem::path tmp = outbox_.root() / "tmp";
    if (const Result written =
            WriteFile(tmp / (name + ".wav"), *kept, kept->size() >= kSyncWhileStaging);
        !written.ok) {
      ::unlink((tmp / name).c_str());
      staged.result = written;
    }
    staged.keptVoice = true;
  }
  return staged;
}

Delivery::Staged Delivery::Stage(MailContent mail, MessageKind kind,
                                 const std::string& clientAddress, std::string name) {
  Staged staged;
  staged.from = &outbox_;
  mail.messageId = NextMessageId();
  mail.kind = KindName(kind);
  const std::string text =
      kind == MessageKind::DeliveryReport ? ComposeDeliveryReport(mail) : ComposeMail(mail);
  if (name.empty()) name = outbox_.NewName();
  if (const Result written = outbox_.StageAs(
          name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
          text.size() >= kSyncWhileStaging);
      !written.ok) {
    staged.result = written;
    return staged;
  }
  staged.name = name;
  CatalogueRow& row = staged.row;
  row.received = mail.date;
  row.kind = kind;
  row.sender = mail.replyTo.address.empty() ? mail.from.address : mail.replyTo.address;
  row.recipients = JoinAddresses(mail.to);
  row.subject = mail.subject;
  row.file = name;
  row.size = static_cast<std::int64_t>(text.size());
  row.clientAddress = clientAddress;
  return staged;
}

void Delivery::Fail(Staged& staged, const std::string& why) {
  if (!staged.result.ok) return;
  staged.result = {false, why};
  const std::filesystem::path tmp = staged.from->root() / "tmp";
  ::unlink((tmp / staged.name).c_str());
  if (staged.keptVoice) ::unlink((tmp / (staged.name + ".wav")).c_str());
}

bool Delivery::SyncStaged(std::vector<Staged*>& files) {
  // A few files get an fsync each; a large batch one sync of the whole file system, which
  // writes every file's data and inode together and flushes the disk once (separate
  // fsyncs flush it once each where the file system keeps no journal).
  if (files.size() >= kSyncFileSystemFrom) {
    if (const Result synced = SyncFileSystem(outbox_.root() / "tmp"); !synced.ok) {
      for (Staged* one : files) Fail(*one, synced.error);
    }
    return true;
  }
  for (Staged* one : files) {
    const std::filesystem::path tmp = one->from->root() / "tmp";
    Result synced = SyncFile(tmp / one->name);
    if (synced.ok && one->keptVoice) synced = SyncFile(tmp / (one->name + ".wav"));
    if (!synced.ok) Fail(*one, synced.error);
  }
  return false;
}

Result Delivery::SyncFolders(std::vector<std::filesystem::path>& folders, bool wholeFileSystem) {
  if (wholeFileSystem) return SyncFileSystem(outbox_.root() / "tmp");
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  Result synced;
  for (const std::filesystem::path& folder : folders) {
    if (synced.ok) synced = SyncDirectory(folder);
  }
  return synced;
}

void Delivery::PublishComposed(std::vector<Staged>& composed) {
  std::vector<Staged*> written;
  written.reserve(composed.size());
  for (Staged& one : composed) written.push_back(&one);
  const bool wholeFileSystem = SyncStaged(written);
  // Where each goes is its row's state now: its sender may have confirmed the address, or
  // it may have expired, since it was accepted.
  std::vector<std::filesystem::path> folders;
  bool toOutbox = false;
  for (Staged& staged : composed) {
    if (!staged.result.ok) continue;
    Result found;
    const auto row = store_->Find(staged.name, found);
    if (!found.ok) {
      Fail(staged, found.error);
      continue;
    }
    // Without its row (put there by hand) it goes out, and gets one at the next start.
    const Maildir* target = !row || row->state == MessageState::New ? &outbox_
                            : row->state == MessageState::Held      ? &held_
                                                                    : nullptr;
    if (target == nullptr) {
      Fail(staged, "no longer wanted");
      ::unlink((acceptedFolder() / staged.name).c_str());
      continue;
    }
    Result published;
    if (staged.keptVoice) {
      published = MoveFile(outbox_.root() / "tmp" / (staged.name + ".wav"),
                           voiceFolder() / (staged.name + ".wav"));
    }
    if (published.ok) published = outbox_.Publish(staged.name, *target);
    if (!published.ok) {
      // The accepted message stays, and is composed again at the next start.
      ::unlink((voiceFolder() / (staged.name + ".wav")).c_str());
      Fail(staged, published.error);
      continue;
    }
    staged.target = target;
    toOutbox = toOutbox || target == &outbox_;
    folders.push_back(target->root() / "new");
    if (staged.keptVoice) folders.push_back(voiceFolder());
  }
  const Result synced = SyncFolders(folders, wholeFileSystem);
  // Only once the e-mail is durable may what it was made from go; until then a crash
  // composes it again.
  if (!synced.ok) return;
  for (Staged& staged : composed) {
    if (staged.result.ok) ::unlink((acceptedFolder() / staged.name).c_str());
  }
  if (toOutbox && onDelivered_) onDelivered_();
}

Result Delivery::CommitBatch(std::vector<Staged>& batch, const std::vector<LinkFor>& links) {
  // The data first.
  std::vector<Staged*> written;
  for (Staged& one : batch) {
    if (one.result.ok) written.push_back(&one);
  }
  const bool wholeFileSystem = SyncStaged(written);
  // Then every row in one transaction. Any failure here is the store's, so it fails the
  // whole batch: none of its clients hears "TROK", none of its files is published.
  std::vector<Staged> linkMail;
  Result stored = store_->Begin();
  for (Staged& staged : batch) {
    if (!stored.ok) break;
    if (!staged.result.ok) continue;
    bool verified = true;
    if (!staged.verifyingSender.empty()) {
      verified = Verified(staged.verifyingSender, stored);
      if (!stored.ok) break;
      if (!verified && confirmBase_.empty()) {
        Fail(staged,
             "the sender's address is not confirmed, and its link would need the HTTP "
             "pages, which this server does not serve");
        continue;
      }
    }
    // An accepted message waits in accepted/ for its e-mail, which its row's state sends
    // to the outbox or the held folder.
    staged.target = staged.from == &accepted_ ? &accepted_ : verified ? &outbox_ : &held_;
    staged.row.state = verified ? MessageState::New : MessageState::Held;
    stored = store_->Insert(staged.row);
    if (stored.ok && !verified) {
      // Accepted, so the client's user is done; delivered once the address is confirmed.
      stored = AddConfirmationLink(staged.verifyingSender, staged.row.clientAddress, linkMail);
      staged.held = true;
      ++ServerMetrics().held;
    }
  }
  for (const LinkFor& link : links) {
    if (stored.ok) stored = AddConfirmationLink(link.address, link.clientAddress, linkMail);
  }
  if (stored.ok) stored = store_->Commit();
  for (Staged& mail : linkMail) batch.push_back(std::move(mail));
  if (!stored.ok) {
    store_->Rollback();
    for (Staged& staged : batch) Fail(staged, stored.error);
    return stored;
  }
  // Last the names: a file in new/ always has its row, and a crash before this point
  // leaves only tmp/ files, which the next start-up removes with their rows.
  std::vector<std::filesystem::path> folders;
  for (Staged& staged : batch) {
    if (!staged.result.ok) continue;
    Result published;
    if (staged.keptVoice) {
      published = MoveFile(outbox_.root() / "tmp" / (staged.name + ".wav"),
                           voiceFolder() / (staged.name + ".wav"));
      folders.push_back(voiceFolder());
    }
    if (published.ok) published = staged.from->Publish(staged.name, *staged.target);
    if (!published.ok) {
      store_->Remove(staged.row.file);
      ::unlink((voiceFolder() / (staged.name + ".wav")).c_str());
      Fail(staged, published.error);
      continue;
    }
    folders.push_back(staged.from->root() / "tmp");
    folders.push_back(staged.target->root() / "new");
  }
  // Both folders of every rename.
  Result synced = SyncFolders(folders, wholeFileSystem);
  bool toOutbox = false;
  for (Staged& staged : batch) {
    if (!staged.result.ok) continue;
    const std::filesystem::path file = staged.target->root() / "new" / staged.name;
    if (!synced.ok) {
      // Not known to be durable, so not accepted: take it back before anyone is told.
      ::unlink(file.c_str());
      ::unlink((voiceFolder() / (staged.name + ".wav")).c_str());
      store_->Remove(staged.row.file);
      staged.result = synced;
      continue;
    }
    toOutbox = toOutbox || staged.target == &outbox_;
    staged.file = file;
  }
  if (toOutbox && onDelivered_) onDelivered_();
  return synced;
}

Acceptance Delivery::StoreNotice(MailContent mail, MessageKind kind,
                                 const std::string& clientAddress) {
  std::vector<Staged> one;
  one.push_back(Stage(std::move(mail), kind, clientAddress));
  CommitBatch(one, {});
  return one.front().Answer();
}

bool Delivery::Verified(const std::string& address, Result& result) {
  if (!options_.verifySenders) return true;
  const SenderRecord record = store_->Sender(AddressKey(address), result);
  return result.ok && clock_() < record.verifiedUntil;
}

Result Delivery::AddConfirmationLink(const std::string& address, const std::string& clientAddress,
                                     std::vector<Staged>& mail) {
  Result result;
  SenderRecord record = store_->Sender(AddressKey(address), result);
  if (!result.ok) return result;
  const std::time_t now = clock_();
  if (record.mailedAt != 0 && now - record.mailedAt < kConfirmationMailInterval) return {};
  // The link mailed yesterday stays the link: the one in either e-mail works.
  if (record.token.empty() || now - record.mailedAt > kHeldLifetime) record.token = NewLinkToken();

  MailContent notice = Notice(address, clientAddress);
  notice.subject = "Please confirm your address to send voice messages";
  notice.text = "Someone, probably you, sent a voice message with Murmelpost from " + address +
                ".\n\n"
                "It is delivered only once you confirm that this address is yours. Open "
                "this link\nand press Confirm:\n\n" +
                confirmBase_ + "/sender/confirm/" + record.token +
                "\n\n"
                "Messages wait for 7 days. If you did not send one, ignore this e-mail: "
                "nothing\nis delivered in your name.\n";
  Staged staged = Stage(std::move(notice), MessageKind::SenderConfirmation, clientAddress);
  if (!staged.result.ok) return staged.result;
  mail.push_back(std::move(staged));
  Staged& link = mail.back();
  link.target = &outbox_;
  result = SyncFile(outbox_.root() / "tmp" / link.name);
  if (result.ok) result = store_->Insert(link.row);
  record.mailedAt = now;
  if (result.ok) result = store_->PutSender(record);
  return result;
}

void Delivery::RegisterPicture(Request& request) {
  const Message& message = request.message;
  const std::vector<std::uint8_t> bytes = message.Bytes(*message.Find(kUploadPicture));
  const std::string& sender = message.sender.address;
  const std::string& clientAddress = request.clientAddress;
  const bool clearing = bytes.empty();
  Result checked;
  const bool verified = Verified(sender, checked);
  if (!checked.ok) return request.done(Refused(checked.error));
  if (confirmBase_.empty() && (!clearing || !verified)) {
    return request.done(
        Refused("custom pictures and sender addresses are confirmed on the HTTP pages, which this "
                "server does not serve (start it without --no-http)"));
  }
  if (!verified) {
    // Nobody may change the picture on messages in someone else's name.
    std::vector<Staged> none;
    const Result mailed = CommitBatch(none, {{sender, clientAddress}});
    return request.done(Refused("the sender's address is not confirmed" +
                                (mailed.ok ? std::string() : "; " + mailed.error)));
  }
  std::string token;
  const Result stored =
      clearing ? pictures_.Clear(sender) : pictures_.Register(sender, bytes, token);
  if (!stored.ok) return request.done(Refused(stored.error));

  MailContent mail = Notice(sender, clientAddress);
  if (clearing) {
    mail.subject = kPictureClearedSubject;
    mail.text =
        "Your messages now carry a random cartoon again.\n"
        "If you did not ask for this, register your picture again.\n";
  } else {
    mail.subject = "Please confirm your custom message picture";
    mail.text = "A custom message picture was registered for " + sender +
                ". It is attached.\n\n"
                "Your messages carry it only once you confirm it. Open this link\n"
                "and press Confirm:\n\n" +
                confirmBase_ + "/picture/confirm/" + token +
                "\n\n"
                "The link is valid for 7 days. If you did not register this picture,\n"
                "ignore this e-mail: nothing changes.\n";
    const std::string type = PictureMimeType(bytes);
    mail.attachments.push_back({PictureFileName(type), type, bytes});
  }
  request.done(StoreNotice(
      std::move(mail), clearing ? MessageKind::PictureCleared : MessageKind::PictureConfirmation,
      clientAddress));
}
std::optional<SenderConfirmationView> Delivery::PendingSender(const std::string& token) {
  const std::lock_guard lock(mutex_);
  Result result;
  const auto record = store_->SenderByToken(token, result);
  if (!record || clock_() - record->mailedAt > kHeldLifetime) return std::nullopt;
  ExpireHeldLocked(result);
  SenderConfirmationView view{record->key, store_->HeldFrom(record->key, result)};
  return view;
}

SenderConfirmationResult Delivery::ConfirmSender(const std::string& token) {
  const std::lock_guard lock(mutex_);
  SenderConfirmationResult confirmation;
  auto record = store_->SenderByToken(token, confirmation.stored);
  if (!record || clock_() - record->mailedAt > kHeldLifetime) return confirmation;
  confirmation.found = true;
  confirmation.address = record->key;
  ExpireHeldLocked(confirmation.stored);
  record->verifiedUntil = clock_() + options_.verifiedFor;
  record->token.clear();
  // Verified first: a crash after it leaves held messages that the next confirmation, or
  // the next start-up's catch-up, would otherwise strand behind a used link.
  confirmation.stored = store_->PutSender(*record);
  if (!confirmation.stored.ok) return confirmation;
  ++ServerMetrics().confirmed;
  const auto held = store_->HeldFrom(record->key, confirmation.stored);
  for (const CatalogueRow& row : held) {
    if (!confirmation.stored.ok) break;
    const std::filesystem::path from = held_.root() / "new" / row.file;
    const std::filesystem::path to = outbox_.root() / "new" / row.file;
    // Not composed yet, its row's new state sends it to the outbox once it is; held by
    // another server sharing the store, that server's release sweep moves it.
    std::error_code error;
    if (std::filesystem::exists(from, error)) confirmation.stored = MoveDurably(from, to);
    if (confirmation.stored.ok) {
      confirmation.stored = store_->SetState(row.file, MessageState::New, "");
    }
    if (confirmation.stored.ok) ++confirmation.delivered;
  }
  if (confirmation.delivered > 0 && onDelivered_) onDelivered_();
  return confirmation;
}

std::vector<RateCount> Delivery::ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                            std::int64_t& since, Result& result) {
  const std::lock_guard lock(mutex_);
  return store_->ShareRates(std::move(added), fromHour, since, result);
}

int Delivery::ReleaseHeld(Result& result) {
  const std::lock_guard lock(mutex_);
  int released = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(held_.root() / "new", error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with('.')) continue;
    const auto row = store_->Find(name, result);
    if (!result.ok) break;
    if (row && row->state == MessageState::New) {
      result = MoveDurably(entry.path(), outbox_.root() / "new" / name);
      if (result.ok) ++released;
    } else if (row && row->state == MessageState::Expired) {
      result = RemoveDurably(entry.path());
      if (result.ok) result = RemoveDurably(voiceFolder() / (name + ".wav"));
    }
    if (!result.ok) break;
  }
  if (released > 0 && onDelivered_) onDelivered_();
  return released;
}

int Delivery::ExpireHeld(Result& result) {
  const std::lock_guard lock(mutex_);
  return ExpireHeldLocked(result);
}

int Delivery::ExpireHeldLocked(Result& result) {
  const auto rows = store_->HeldBefore(clock_() - kHeldLifetime, result);
  int expired = 0;
  for (const CatalogueRow& row : rows) {
    if (!result.ok) break;
    result = RemoveDurably(held_.root() / "new" / row.file);
    if (result.ok) result = RemoveDurably(voiceFolder() / (row.file + ".wav"));
    if (result.ok) {
      result = store_->SetState(row.file, MessageState::Expired,
                                "the sender did not confirm the address within 7 days");
    }
    if (result.ok) ++expired;
  }
  ServerMetrics().expired += static_cast<std::uint64_t>(expired);
  return expired;
}

}  // namespace murmel::server
