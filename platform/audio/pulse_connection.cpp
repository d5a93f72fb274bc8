#include "platform/audio/pulse_connection.h"

#include <string>

namespace murmel::audio::pulse {

namespace {

void OnContextState(pa_context* /*context*/, void* userdata) {
  static_cast<PulseConnection*>(userdata)->Signal();
}

struct Deadline {
  pa_threaded_mainloop* loop;
  bool expired = false;
};

void OnDeadline(pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const timeval* /*tv*/,
                void* userdata) {
  auto* deadline = static_cast<Deadline*>(userdata);
  deadline->expired = true;
  pa_threaded_mainloop_signal(deadline->loop, 0);
}

}  // namespace

std::shared_ptr<PulseConnection> PulseConnection::Connect(std::chrono::milliseconds timeout) {
  auto connection = std::make_shared<PulseConnection>(Key{});
  connection->loop_ = pa_threaded_mainloop_new();
  if (connection->loop_ == nullptr) return nullptr;
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Murmelpost");
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.murmelpost.Murmelpost");
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "audio-input-microphone");
  connection->context_ = pa_context_new_with_proplist(
      pa_threaded_mainloop_get_api(connection->loop_), "Murmelpost", properties);
  pa_proplist_free(properties);
  if (connection->context_ == nullptr) return nullptr;
  pa_context_set_state_callback(connection->context_, OnContextState, connection.get());
  if (pa_threaded_mainloop_start(connection->loop_) < 0) return nullptr;

  LoopLock lock(connection->loop_);
  // No autospawn: with no server there is simply no device, at once.
  if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return nullptr;
  }
  pa_context* context = connection->context_;
  const bool settled = connection->WaitUntil(
      [context] {
        return PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) == 0 ||
               pa_context_get_state(context) == PA_CONTEXT_READY;
      },
      timeout);
  if (!settled || pa_context_get_state(context) != PA_CONTEXT_READY) return nullptr;
  return connection;
}

PulseConnection::~PulseConnection() {
  if (loop_ == nullptr) return;
  if (context_ != nullptr) {
    {
      LoopLock lock(loop_);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::Ready() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

bool PulseConnection::WaitUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
  if (done()) return true;
  Deadline deadline{loop_};
  const auto usec = static_cast<pa_usec_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
  pa_time_event* timer =
      pa_context_rttime_new(context_, pa_rtclock_now() + usec, OnDeadline, &deadline);
  if (timer == nullptr) return false;
  while (!done() && !deadline.expired) pa_threaded_mainloop_wait(loop_);
  pa_threaded_mainloop_get_api(loop_)->time_free(timer);
  return done();
}

namespace {

struct DefaultsQuery {
  PulseConnection* connection;
  std::string sink;
  std::string source;
  bool done = false;
};

void OnServerInfo(pa_context* /*context*/, const pa_server_info* info, void* userdata) {
  auto* query = static_cast<DefaultsQuery*>(userdata);
  if (info != nullptr) {
    if (info->default_sink_name != nullptr) query->sink = info->default_sink_name;
    if (info->default_source_name != nullptr) query->source = info->default_source_name;
  }
  query->done = true;
  query->connection->Signal();
}

}  // namespace

bool PulseConnection::QueryDefaults(std::string& sink, std::string& source,
                                    std::chrono::milliseconds timeout) {
  DefaultsQuery query{this, {}, {}};
  pa_operation* operation = pa_context_get_server_info(context_, OnServerInfo, &query);
  if (operation == nullptr) return false;
  const bool answered = WaitUntil([&] { return query.done; }, timeout);
  if (!answered) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  sink = query.sink;
  source = query.source;
  return answered;
}

}  // namespace murmel::audio::pulse
