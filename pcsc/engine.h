// Runs each exchange on a worker thread and waits for it at most a set
// time: a card that stops answering, or another program that keeps the card
// in a transaction, blocks PC/SC calls for as long as it lasts, and must not
// block the caller with it. An exchange answered that way sends nothing
// more, and until it has left the PC/SC service later exchanges fail at once
// instead of running beside it: there is one worker, never more.
#pragma once

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

  // Whether an exchange that was answered already is still inside a PC/SC
  // call.
  bool Stuck() const;

 private:
  struct Worker;
  Result RunOnWorker(const CheckedFrame& request, const Settings& settings);
  void Notify(const Settings& settings, const Result& outcome);
  static void Loop(std::shared_ptr<Worker> worker);

  LinkFactory m_Factory;
  SettingsSource m_Settings;
  std::chrono::milliseconds m_ExchangeTime;
  std::mutex m_Mutex;
  std::shared_ptr<Worker> m_Worker;
  std::thread m_Thread;
  std::string m_LastNotice;
};

}  // namespace rfid::pcsc
