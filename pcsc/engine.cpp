#include "engine.h"

#include <condition_variable>
#include <optional>

namespace rfid::pcsc {

struct Engine::Worker final : Watch {
  explicit Worker(LinkFactory factory) : session(std::move(factory)) {}

  void Before(Wait what, const std::string& on) override {
    std::lock_guard lock(mutex);
    if (answered) throw Abandoned{};
    wait = what;
    reader = on;
  }

  std::string Waiting() const {
    const std::string named = reader.empty() ? "" : " \"" + reader + "\"";
    switch (wait) {
      case Wait::Service: return "the PC/SC service";
      case Wait::Reader: return "reader" + named;
      case Wait::Card: return "the card on reader" + named;
    }
    return {};
  }

  std::mutex mutex;
  std::condition_variable wake;
  std::optional<CheckedFrame> job;
  Settings settings;
  std::optional<Result> result;
  bool running = false;   // an exchange is posted or inside a PC/SC call
  bool answered = false;  // its caller had its answer: nothing more is sent
  bool quit = false;
  Wait wait = Wait::Service;
  std::string reader;
  Session session;  // touched by the worker's thread only
};

Engine::Engine(LinkFactory factory, SettingsSource settings, std::chrono::milliseconds exchangeTime)
    : m_Factory(std::move(factory)),
      m_Settings(std::move(settings)),
      m_ExchangeTime(exchangeTime) {}

Engine::~Engine() {
  if (!m_Worker) return;
  bool stuck;
  {
    std::lock_guard lock(m_Worker->mutex);
    m_Worker->quit = true;
    m_Worker->answered = true;
    stuck = m_Worker->running;
  }
  m_Worker->wake.notify_all();
  // A worker stuck in a PC/SC call cannot be joined; it holds its own share
  // of what it uses.
  if (stuck) m_Thread.detach();
  else m_Thread.join();
}

void Engine::Loop(std::shared_ptr<Worker> worker) {
  std::unique_lock lock(worker->mutex);
  for (;;) {
    worker->wake.wait(lock, [&] { return worker->job || worker->quit; });
    if (!worker->job) return;
    const CheckedFrame request = *worker->job;
    const Settings settings = worker->settings;
    worker->job.reset();
    lock.unlock();
    Result outcome;
    try {
      outcome = worker->session.Run(request, settings, worker.get());
    } catch (const std::exception& e) {
      outcome = {Failure::Internal, {}, e.what()};
    }
    lock.lock();
    worker->running = false;
    if (worker->answered) {
      if (settings.trace) settings.trace("an exchange answered earlier has left the PC/SC service");
    } else {
      worker->result = std::move(outcome);
    }
    worker->wake.notify_all();
  }
}

Result Engine::RunOnWorker(const CheckedFrame& request, const Settings& settings) {
  if (!m_Worker) {
    m_Worker = std::make_shared<Worker>(m_Factory);
    m_Thread = std::thread(Loop, m_Worker);
  }
  Worker& w = *m_Worker;
  std::unique_lock lock(w.mutex);
  if (w.running)
    return {Failure::Busy, {}, "nothing sent: an exchange answered earlier still waits for " +
                                   w.Waiting()};
  w.job = request;
  w.settings = settings;
  w.result.reset();
  w.running = true;
  w.answered = false;
  w.wait = Wait::Service;
  w.reader.clear();
  w.wake.notify_all();
  if (w.wake.wait_for(lock, m_ExchangeTime, [&] { return w.result.has_value(); })) {
    Result outcome = std::move(*w.result);
    w.result.reset();
    return outcome;
  }
  // Answered now: the worker stops at its next PC/SC call.
  w.answered = true;
  const std::string limit = std::to_string(m_ExchangeTime.count()) + " ms";
  // Short of the card, only another program's transaction keeps a reader
  // call waiting.
  if (w.wait == Wait::Reader)
    return {Failure::InUse, {}, "reader \"" + w.reader + "\" still kept in a transaction by " +
                                    "another program after " + limit};
  return {Failure::Timeout, {}, "no answer within " + limit + " from " + w.Waiting()};
}

bool Engine::Stuck() const {
  if (!m_Worker) return false;
  std::lock_guard lock(m_Worker->mutex);
  return m_Worker->running;
}

void Engine::Notify(const Settings& settings, const Result& outcome) {
  if (!outcome.failure) {
    m_LastNotice.clear();
    return;
  }
  std::string notice;
  if (*outcome.failure == Failure::InUse) {
    notice = "reader in use by another program: " + outcome.note + "; close the program that holds it";
    const auto programs = settings.otherPrograms ? settings.otherPrograms()
                                                 : std::vector<std::string>();
    if (programs.empty()) {
      notice += " (no other program using PC/SC is visible to this one)";
    } else {
      notice += ". Programs using PC/SC:";
      for (std::size_t i = 0; i < programs.size(); ++i) notice += (i ? ", " : " ") + programs[i];
    }
  } else if (*outcome.failure == Failure::Busy || *outcome.failure == Failure::KeyLoad) {
    notice = outcome.note;
  } else {
    return;
  }
  // Once for each state of things, not at every exchange.
  if (notice == m_LastNotice) return;
  m_LastNotice = notice;
  if (settings.notice) settings.notice(notice);
}

std::string Engine::Transceive(std::string_view frame) {
  std::lock_guard lock(m_Mutex);
  const Settings settings = m_Settings();
  auto trace = [&](const std::string& line) {
    if (settings.trace) settings.trace(line);
  };
  trace("frame " + std::string(frame));
  const auto checked = CheckFrame(frame);
  if (const auto* refusal = std::get_if<FrameRefusal>(&checked)) {
    trace("refused: " + refusal->why);
    return FailureReply(refusal->failure);
  }
  const Result outcome = RunOnWorker(std::get<CheckedFrame>(checked), settings);
  if (outcome.failure) trace("failed: " + outcome.note);
  Notify(settings, outcome);
  const std::string reply = ReplyText(outcome);
  trace("reply " + reply);
  return reply;
}

bool Engine::DeviceFind() {
  const Settings settings = m_Settings();
  try {
    auto link = m_Factory();
    for (const std::string& name : link->ListReaders())
      if (settings.readerFilter.empty() || name.find(settings.readerFilter) != std::string::npos)
        return true;
  } catch (const LinkError& e) {
    if (settings.trace) settings.trace(std::string("device find: ") + e.what());
  }
  return false;
}

}  // namespace rfid::pcsc
