#include "engine.h"

#include <condition_variable>
#include <optional>

namespace rfid::pcsc {

struct Engine::Worker {
  explicit Worker(LinkFactory factory) : session(std::move(factory)) {}
  std::mutex mutex;
  std::condition_variable wake;
  std::optional<Request> job;
  Settings settings;
  std::optional<Outcome> result;
  bool abandoned = false;
  Session session;  // touched by the worker's thread only
};

Engine::Engine(LinkFactory factory, SettingsSource settings, std::chrono::milliseconds exchangeTime)
    : factory_(std::move(factory)), settings_(std::move(settings)), exchangeTime_(exchangeTime) {}

Engine::~Engine() {
  if (!worker_) return;
  {
    std::lock_guard lock(worker_->mutex);
    worker_->abandoned = true;
  }
  worker_->wake.notify_all();
  thread_.join();  // idle: a worker that overran was detached already
}

void Engine::Loop(std::shared_ptr<Worker> worker, std::shared_ptr<std::atomic<int>> hanging) {
  std::unique_lock lock(worker->mutex);
  for (;;) {
    worker->wake.wait(lock, [&] { return worker->job || worker->abandoned; });
    if (!worker->job) return;
    const Request request = *worker->job;
    const Settings settings = worker->settings;
    worker->job.reset();
    lock.unlock();
    Outcome outcome;
    try {
      outcome = worker->session.Run(request, settings);
    } catch (const std::exception& e) {
      outcome = {Failure::Internal, {}, e.what()};
    }
    lock.lock();
    if (worker->abandoned) {
      // Its caller gave up on it; what it held goes with it.
      lock.unlock();
      --*hanging;
      return;
    }
    worker->result = std::move(outcome);
    worker->wake.notify_all();
  }
}

Outcome Engine::RunOnWorker(const Request& request, const Settings& settings) {
  if (!worker_) {
    if (*hanging_ >= kMaxHangingWorkers)
      return {Failure::Timeout, {}, "earlier exchanges still hang in the reader service"};
    worker_ = std::make_shared<Worker>(factory_);
    thread_ = std::thread(Loop, worker_, hanging_);
  }
  std::unique_lock lock(worker_->mutex);
  worker_->job = request;
  worker_->settings = settings;
  worker_->result.reset();
  worker_->wake.notify_all();
  if (worker_->wake.wait_for(lock, exchangeTime_, [&] { return worker_->result.has_value(); })) {
    Outcome outcome = std::move(*worker_->result);
    worker_->result.reset();
    return outcome;
  }
  worker_->abandoned = true;
  ++*hanging_;
  lock.unlock();
  thread_.detach();
  worker_.reset();
  return {Failure::Timeout, {}, "no answer within " + std::to_string(exchangeTime_.count()) + " ms"};
}

std::string Engine::Transceive(std::string_view frame) {
  std::lock_guard lock(mutex_);
  const Settings settings = settings_();
  auto trace = [&](const std::string& line) {
    if (settings.trace) settings.trace(line);
  };
  trace("frame " + std::string(frame));
  const auto checked = CheckFrame(frame);
  if (const auto* fault = std::get_if<FrameFault>(&checked)) {
    trace("refused: " + fault->why);
    return FailureReply(fault->failure);
  }
  const Outcome outcome = RunOnWorker(std::get<Request>(checked), settings);
  if (outcome.failure) trace("failed: " + outcome.note);
  const std::string reply = ReplyText(outcome);
  trace("reply " + reply);
  return reply;
}

bool Engine::DeviceFind() {
  const Settings settings = settings_();
  try {
    auto link = factory_();
    for (const std::string& name : link->ListReaders())
      if (settings.readerFilter.empty() || name.find(settings.readerFilter) != std::string::npos)
        return true;
  } catch (const LinkError& e) {
    if (settings.trace) settings.trace(std::string("device find: ") + e.what());
  }
  return false;
}

}  // namespace rfid::pcsc
