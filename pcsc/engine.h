// Runs each exchange on a worker thread and waits for it at most a set
// time: a card that stops answering blocks PC/SC calls for as long as it is
// on the reader, and must not block the caller with it.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "session.h"

namespace rfid::pcsc {

inline constexpr std::chrono::milliseconds kExchangeTime{3000};
// Workers left hanging in a dead card's calls before further exchanges fail
// at once instead of starting another.
inline constexpr int kMaxHangingWorkers = 4;

class Engine {
 public:
  using SettingsSource = std::function<Settings()>;

  Engine(LinkFactory factory, SettingsSource settings,
         std::chrono::milliseconds exchangeTime = kExchangeTime);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The reply text for frame: checked, carried out, or a failure. Safe to
  // call from any thread; calls are taken one at a time.
  std::string Transceive(std::string_view frame);
  // Whether the service answers and lists a reader (honouring the filter).
  bool DeviceFind();

  // Workers still inside calls that overran their time.
  int HangingWorkers() const { return *hanging_; }

 private:
  struct Worker;
  Outcome RunOnWorker(const Request& request, const Settings& settings);
  static void Loop(std::shared_ptr<Worker> worker, std::shared_ptr<std::atomic<int>> hanging);

  LinkFactory factory_;
  SettingsSource settings_;
  std::chrono::milliseconds exchangeTime_;
  std::mutex mutex_;
  std::shared_ptr<Worker> worker_;
  std::thread thread_;
  std::shared_ptr<std::atomic<int>> hanging_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace rfid::pcsc
