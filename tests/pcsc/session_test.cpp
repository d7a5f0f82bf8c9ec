// The session and the engine against a scripted link: reader choice,
// transactions, reconnecting, failures, and the exchange time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <set>
#include <mutex>
#include <thread>

#include "engine.h"
#include "session.h"
#include "virtual_card.h"

namespace rfid::pcsc {
namespace {

using namespace std::chrono_literals;

std::string Hex(const Bytes& b) { return HexBytes(b, false); }

// Shared by the test and every link its factory makes: a worker left behind
// by the engine may use it after the test is done with it.
struct Script {
  std::mutex mutex;
  std::vector<std::string> readers = {"Reader A"};
  std::map<std::string, rig::CardModel> cards;  // reader -> card on it
  // Call name -> what its next calls do, in order: nullopt passes.
  std::map<std::string, std::deque<std::optional<LinkFault>>> faults;
  std::vector<std::string> calls;
  std::set<std::string> exclusive;  // readers another program holds exclusively
  int links = 0;
  std::optional<Bytes> escapeAnswer;  // nullopt: the driver refuses escape commands
  bool block = false;       // Transmit waits until released
  bool blockBegin = false;  // so does BeginTransaction: another program's transaction
  std::condition_variable released;
  std::string connected;

  void Fault(const std::string& call) {
    auto it = faults.find(call);
    if (it == faults.end() || it->second.empty()) return;
    const auto fault = it->second.front();
    it->second.pop_front();
    if (fault) throw LinkError(*fault, "scripted " + call + " fault");
  }
  int Count(const std::string& prefix) {
    std::lock_guard lock(mutex);
    int n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
};

class ScriptedLink final : public CardLink {
 public:
  explicit ScriptedLink(std::shared_ptr<Script> s) : m_Script(std::move(s)) {
    std::lock_guard lock(m_Script->mutex);
    ++m_Script->links;
  }
  std::vector<std::string> ListReaders() override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("list");
    m_Script->Fault("list");
    return m_Script->readers;
  }
  std::vector<ReaderState> Survey() override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("survey");
    m_Script->Fault("survey");
    std::vector<ReaderState> states;
    for (const std::string& name : m_Script->readers) {
      ReaderState state{
          name, m_Script->cards.count(name) == 1, m_Script->exclusive.count(name) == 1, {}};
      if (state.card) state.atr = m_Script->cards.at(name).Atr();
      states.push_back(state);
    }
    return states;
  }
  std::optional<Bytes> Connect(const std::string& reader) override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("connect " + reader);
    m_Script->Fault("connect");
    if (m_Script->exclusive.count(reader))
      throw LinkError(LinkFault::InUse, "scripted sharing violation");
    auto it = m_Script->cards.find(reader);
    if (it == m_Script->cards.end()) return std::nullopt;
    m_Script->connected = reader;
    return it->second.Atr();
  }
  void Disconnect() override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("disconnect");
  }
  void CheckCard() override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("check");
    m_Script->Fault("check");
  }
  void BeginTransaction() override {
    std::unique_lock lock(m_Script->mutex);
    m_Script->calls.push_back("begin");
    m_Script->released.wait(lock, [&] { return !m_Script->blockBegin; });
    m_Script->Fault("begin");
  }
  void EndTransaction() override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("end");
  }
  Bytes Transmit(const Bytes& command) override {
    std::unique_lock lock(m_Script->mutex);
    m_Script->calls.push_back("> " + Hex(command));
    m_Script->released.wait(lock, [&] { return !m_Script->block; });
    m_Script->Fault("transmit");
    return m_Script->cards.at(m_Script->connected).Respond(command);
  }
  Bytes Control(const Bytes& command) override {
    std::lock_guard lock(m_Script->mutex);
    m_Script->calls.push_back("escape " + Hex(command));
    if (!m_Script->escapeAnswer) throw LinkError(LinkFault::Failed, "scripted: not supported");
    return *m_Script->escapeAnswer;
  }

 private:
  std::shared_ptr<Script> m_Script;
};

LinkFactory FactoryFor(std::shared_ptr<Script> script) {
  return [script] { return std::make_unique<ScriptedLink>(script); };
}

CheckedFrame Make(Command command, int parameter, std::uint8_t fill = 0x00) {
  CheckedFrame r;
  r.command = command;
  r.parameter = parameter;
  r.data.fill(fill);
  return r;
}

class SessionTest : public ::testing::Test {
 protected:
  std::shared_ptr<Script> script = std::make_shared<Script>();
  Session session{FactoryFor(script)};
  Settings settings;

  void PutCard(const std::string& reader, rig::CardType type) {
    script->cards.emplace(reader, rig::CardModel(type));
  }
  Result Run(const CheckedFrame& r) { return session.Run(r, settings); }
  std::vector<std::string> Calls() {
    std::lock_guard lock(script->mutex);
    auto calls = script->calls;
    script->calls.clear();
    return calls;
  }
};

TEST_F(SessionTest, ReaderChoice) {
  struct Row {
    const char* what;
    std::vector<std::string> readers;
    std::vector<std::string> withCard;
    std::string filter;
    std::optional<Failure> failure;
    std::string chosen;
  };
  const Row rows[] = {
      {"the first that holds a card", {"A", "B", "C"}, {"B", "C"}, "", std::nullopt, "B"},
      {"named by the filter", {"A", "B", "C"}, {"B", "C"}, "C", std::nullopt, "C"},
      {"filter names an empty reader", {"A", "B"}, {"B"}, "A", Failure::NoCard, ""},
      {"filter names no reader", {"A", "B"}, {"B"}, "Z", Failure::NoReader, ""},
      {"no card anywhere", {"A", "B"}, {}, "", Failure::NoCard, ""},
      {"no reader", {}, {}, "", Failure::NoReader, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto s = std::make_shared<Script>();
    s->readers = row.readers;
    for (const auto& r : row.withCard) s->cards.emplace(r, rig::CardModel(rig::CardType::Classic1K));
    Session fresh(FactoryFor(s));
    Settings st;
    st.readerFilter = row.filter;
    const Result out = fresh.Run(Make(Command::Detect, 1), st);
    EXPECT_EQ(out.failure, row.failure) << out.note;
    if (!row.failure) {
      EXPECT_EQ(s->connected, row.chosen);
    }
  }
}

rig::CardModel CardOfKind(const std::string& kind) {
  if (kind == "ul") return rig::CardModel(rig::CardType::Ultralight);
  if (kind == "15693") return rig::CardModel(rig::CardType::Iso15693);
  rig::CardModel card(rig::CardType::Classic1K);
  if (kind == "bank") card.SetAtr({0x3B, 0x80, 0x80, 0x01, 0x01});  // ISO 14443-4, no storage ATR
  if (kind == "a-unknown") card.SetAtr(rig::StorageAtr(0x03, 0x00FF));
  return card;
}

TEST_F(SessionTest, ReaderChosenByTheCardKind) {
  struct Row {
    const char* what;
    CheckedFrame request;
    std::map<std::string, std::string> cards;  // reader -> kind
    std::set<std::string> exclusive;
    std::string filter;
    std::optional<Failure> failure;
    std::string chosen;
  };
  const Row rows[] = {
      {"read passes a bank card", Make(Command::Read, 1), {{"A", "bank"}, {"B", "classic"}}, {}, "",
       std::nullopt, "B"},
      {"14443A detect passes a bank card", Make(Command::Detect, 1),
       {{"A", "bank"}, {"B", "classic"}}, {}, "", std::nullopt, "B"},
      {"14443A detect prefers a storage card", Make(Command::Detect, 1),
       {{"A", "a-unknown"}, {"B", "ul"}}, {}, "", std::nullopt, "B"},
      {"14443A detect takes what there is", Make(Command::Detect, 1), {{"A", "a-unknown"}}, {}, "",
       std::nullopt, "A"},
      {"15693 detect", Make(Command::Detect, 2), {{"A", "classic"}, {"B", "15693"}}, {}, "",
       std::nullopt, "B"},
      {"beep passes a bank card", Make(Command::Beep, 1), {{"A", "bank"}, {"B", "ul"}}, {}, "",
       std::nullopt, "B"},
      {"beep on a bank card alone", Make(Command::Beep, 1), {{"A", "bank"}}, {}, "", std::nullopt, "A"},
      {"read passes a reader held by another program", Make(Command::Read, 1),
       {{"A", "classic"}, {"B", "ul"}}, {"A"}, "", std::nullopt, "B"},
      {"read, the only card held by another program", Make(Command::Read, 1), {{"A", "classic"}},
       {"A"}, "", Failure::InUse, ""},
      {"read, a bank card alone", Make(Command::Read, 1), {{"A", "bank"}}, {}, "",
       Failure::UnknownLayout, ""},
      {"15693 detect, a Classic alone", Make(Command::Detect, 2), {{"A", "classic"}}, {}, "",
       Failure::OtherKind, ""},
      {"the named reader wins", Make(Command::Read, 1), {{"A", "bank"}, {"B", "classic"}}, {}, "A",
       Failure::UnknownLayout, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto s = std::make_shared<Script>();
    s->readers = {"A", "B", "C"};
    for (const auto& [reader, kind] : row.cards) s->cards.emplace(reader, CardOfKind(kind));
    s->exclusive = row.exclusive;
    Session fresh(FactoryFor(s));
    Settings st;
    st.readerFilter = row.filter;
    std::vector<std::string> notices;
    st.notice = [&](std::string_view line) { notices.emplace_back(line); };
    const Result out = fresh.Run(row.request, st);
    EXPECT_EQ(out.failure, row.failure) << out.note;
    if (!row.failure) {
      EXPECT_EQ(s->connected, row.chosen);
      // The log says which reader served (and, for a beep, which beep).
      ASSERT_EQ(notices.size(), row.request.command == Command::Beep ? 2u : 1u);
      EXPECT_NE(notices[0].find("reader \"" + row.chosen + "\" serves"), std::string::npos)
          << notices[0];
    } else {
      EXPECT_EQ(s->Count("> "), 0);
    }
  }
}

// The beep each family documents; one that fails or does not exist is a
// failure reply, and the connection stays.
TEST_F(SessionTest, BeepByReaderFamily) {
  const Bytes answered = {0xE1, 0x00, 0x00, 0x00, 0x01, 0x00};
  const struct {
    const char* reader;
    std::optional<Bytes> escapeAnswer;
    int plain, escapes;  // FF 00 40 sent, E0 00 00 28 01 0A sent
    std::optional<Failure> failure;
  } rows[] = {{"ACS ACR122U PICC Interface 00 00", std::nullopt, 1, 0, std::nullopt},
              {"ACS ACR1281 1S Dual Reader PICC 00 00", answered, 0, 1, std::nullopt},
              {"ACS ACR1281 1S Dual Reader PICC 00 00", std::nullopt, 0, 1, Failure::CardError},
              {"HID Global OMNIKEY 5422CL Smartcard Reader 01 00", answered, 0, 0, Failure::NoBeep}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reader);
    auto s = std::make_shared<Script>();
    s->readers = {row.reader};
    s->cards.emplace(row.reader, rig::CardModel(rig::CardType::Classic1K));
    s->escapeAnswer = row.escapeAnswer;
    Session fresh(FactoryFor(s));
    EXPECT_EQ(fresh.Run(Make(Command::Beep, 1), settings).failure, row.failure);
    EXPECT_EQ(s->Count("> FF0040"), row.plain);
    EXPECT_EQ(s->Count("escape E0000028010A"), row.escapes);
    EXPECT_EQ(s->Count("disconnect"), 0);
  }
}

TEST_F(SessionTest, CardLaidOnAnotherReaderLaterServes) {
  script->readers = {"A", "B"};
  script->cards.emplace("A", CardOfKind("bank"));
  EXPECT_EQ(Run(Make(Command::Beep, 1)).failure, std::nullopt);  // connected to the bank card
  EXPECT_EQ(Run(Make(Command::Read, 1)).failure, Failure::UnknownLayout);
  script->cards.emplace("B", CardOfKind("classic"));
  const Result read = Run(Make(Command::Read, 1));
  EXPECT_EQ(read.failure, std::nullopt) << read.note;
  EXPECT_EQ(script->connected, "B");
  // A storage card connected to serves on: no survey at each exchange.
  Calls();
  EXPECT_EQ(Run(Make(Command::Detect, 1)).failure, std::nullopt);
  EXPECT_EQ(script->Count("survey"), 0);
}

// After a detect found a card that holds blocks, its reads and writes go to
// that reader only: a card lifted there is no card, whatever lies elsewhere.
TEST_F(SessionTest, ReadsAndWritesStayWithTheDetectedCardsReader) {
  struct Row {
    const char* what;
    std::string detected;     // kind on reader A at the detect
    std::string afterwards;   // kind on reader A at the write; "" none
    std::optional<Failure> failure;
    std::string written;      // the reader whose card took the write
  };
  const Row rows[] = {
      {"detected card lifted", "classic", "", Failure::NoCard, ""},
      {"detected card swapped for another", "classic", "classic", std::nullopt, "A"},
      // A card of unknown layout holds no blocks: the choice stays free.
      {"the detect found no storage card", "a-unknown", "", std::nullopt, "B"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto s = std::make_shared<Script>();
    s->readers = {"A", "B"};
    s->cards.emplace("A", CardOfKind(row.detected));
    Session fresh(FactoryFor(s));
    ASSERT_FALSE(fresh.Run(Make(Command::Detect, 1), settings).failure);
    ASSERT_EQ(s->connected, "A");
    s->cards.emplace("B", CardOfKind("classic"));
    s->cards.erase("A");
    if (!row.afterwards.empty()) s->cards.emplace("A", CardOfKind(row.afterwards));
    s->faults["begin"] = {LinkFault::Stale};  // the handle went stale with the card
    const Result out = fresh.Run(Make(Command::Write, 1, 0x77), settings);
    EXPECT_EQ(out.failure, row.failure) << out.note;
    EXPECT_EQ(s->cards.at("B").Read(16, 16), Bytes(16, row.written == "B" ? 0x77 : 0x00));
    if (row.written == "A") {
      EXPECT_EQ(s->cards.at("A").Read(16, 16), Bytes(16, 0x77));
    }
    if (row.failure) {
      EXPECT_EQ(s->Count("> "), 1);  // the detect's alone
      EXPECT_EQ(s->Count("connect B"), 0);
      // A new detect chooses afresh.
      EXPECT_FALSE(fresh.Run(Make(Command::Detect, 1), settings).failure);
      EXPECT_EQ(s->connected, "B");
    }
  }
}

TEST_F(SessionTest, EveryExchangeIsOneTransaction) {
  PutCard("Reader A", rig::CardType::Classic1K);
  // One APDU too: another program's transaction is waited for before it, so
  // that an exchange answered meanwhile can still send nothing.
  ASSERT_FALSE(Run(Make(Command::Detect, 1)).failure);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"survey", "connect Reader A", "begin", "> FFCA000000",
                                               "end"}));
  const Result read = Run(Make(Command::Read, 1));
  ASSERT_FALSE(read.failure) << read.note;
  EXPECT_EQ(read.data, Bytes(16, 0x00));
  // The connection from the detect serves; the three APDUs are one transaction.
  EXPECT_EQ(Calls(), (std::vector<std::string>{"begin", "> FF82000006FFFFFFFFFFFF",
                                               "> FF860000050100016000", "> FFB0000110", "end"}));
}

TEST_F(SessionTest, WriteReachesTheCard) {
  PutCard("Reader A", rig::CardType::Ultralight);
  ASSERT_FALSE(Run(Make(Command::Write, 2, 0x5A)).failure);
  EXPECT_EQ(script->cards.at("Reader A").Read(32, 16), Bytes(16, 0x5A));
  const Result read = Run(Make(Command::Read, 2));
  EXPECT_EQ(read.data, Bytes(16, 0x5A));
}

TEST_F(SessionTest, StaleHandleReconnectsOnce) {
  PutCard("Reader A", rig::CardType::Classic1K);
  ASSERT_FALSE(Run(Make(Command::Detect, 1)).failure);
  Calls();
  // The card was taken away and put back since: nothing reached it, so the
  // exchange connects afresh and goes ahead.
  script->faults["begin"] = {LinkFault::Stale};
  const Result out = Run(Make(Command::Read, 1));
  EXPECT_FALSE(out.failure) << out.note;
  EXPECT_EQ(script->links, 2);
  EXPECT_EQ(script->Count("> FFB0"), 1);

  // Stale twice in a row: a failure, not a loop.
  script->faults["begin"] = {LinkFault::Stale, LinkFault::Stale};
  EXPECT_EQ(Run(Make(Command::Read, 1)).failure, Failure::Lost);
  EXPECT_EQ(script->links, 3);
}

TEST_F(SessionTest, RefusalByAnEarlierCardIsCheckedFirst) {
  PutCard("Reader A", rig::CardType::Ultralight);
  ASSERT_FALSE(Run(Make(Command::Detect, 1)).failure);
  // Another card lies there now: what the old one would refuse, it may take.
  script->cards.erase("Reader A");
  PutCard("Reader A", rig::CardType::Iso15693);
  script->faults["check"] = {LinkFault::Stale};
  Calls();
  // ISO 15693 has no block that spoils the card.
  const Result out = Run(Make(Command::Write, 0));
  EXPECT_FALSE(out.failure) << out.note;
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 5),
            (std::vector<std::string>{"check", "disconnect", "survey", "connect Reader A", "begin"}));
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.rfind("> FFD6", 0) == 0; }),
            5);
  // A detect the connected card cannot serve looks at the readers again,
  // and a card whose ATR changed is connected to afresh.
  script->cards.erase("Reader A");
  PutCard("Reader A", rig::CardType::Classic1K);
  Calls();
  EXPECT_FALSE(Run(Make(Command::Detect, 1)).failure);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"survey", "connect Reader A", "begin", "> FFCA000000",
                                               "end"}));
  // A refusal on a card just connected to needs no check.
  Session fresh(FactoryFor(script));
  EXPECT_EQ(fresh.Run(Make(Command::Write, 3), settings).failure, Failure::Refused);
  EXPECT_EQ(script->Count("check"), 0);
}

TEST_F(SessionTest, FaultsAfterTheFirstApduFailTheExchange) {
  PutCard("Reader A", rig::CardType::Classic1K);
  ASSERT_FALSE(Run(Make(Command::Detect, 1)).failure);
  struct Row {
    LinkFault fault;
    Failure failure;
  };
  const Row rows[] = {{LinkFault::Stale, Failure::Lost},
                      {LinkFault::Lost, Failure::Lost},
                      {LinkFault::Failed, Failure::CardError}};
  for (const Row& row : rows) {
    SCOPED_TRACE(int(row.fault));
    Calls();
    const int links = script->links;
    // LOAD KEYS goes through, the authentication fails.
    script->faults["transmit"] = {std::nullopt, row.fault};
    const Result out = Run(Make(Command::Write, 1, 0x11));
    EXPECT_EQ(out.failure, row.failure) << out.note;
    const auto calls = Calls();
    // Nothing is sent again, the transaction ends before the connection goes.
    EXPECT_EQ(calls, (std::vector<std::string>{"begin", "> FF82000006FFFFFFFFFFFF",
                                               "> FF860000050100016000", "end", "disconnect"}));
    EXPECT_EQ(script->cards.at("Reader A").Read(16, 16), Bytes(16, 0x00));
    // The next exchange connects afresh.
    EXPECT_FALSE(Run(Make(Command::Detect, 1)).failure);
    EXPECT_EQ(script->links, links + 1);
  }
}

// A card whose GET DATA answers with a UID that no card of its kind has.
TEST_F(SessionTest, UidLengthIsChecked) {
  PutCard("Reader A", rig::CardType::Iso15693);
  auto& card = script->cards.at("Reader A");
  card.SetAtr(rig::StorageAtr(0x03, 0x0001));  // claims 14443A with a UID of 8 bytes
  const Result out = Run(Make(Command::Detect, 1));
  EXPECT_EQ(out.failure, Failure::CardError) << out.note;
}

TEST_F(SessionTest, ServiceFaults) {
  struct Row {
    const char* what;
    std::string call;
    std::deque<std::optional<LinkFault>> faults;
    std::optional<Failure> failure;
  };
  const Row rows[] = {
      {"service not running", "survey", {LinkFault::NoService, LinkFault::NoService},
       Failure::NoReader},
      {"service restarted since: a fresh context serves", "survey", {LinkFault::Stale},
       std::nullopt},
      {"reader gone while connecting", "connect", {LinkFault::Stale, LinkFault::Stale},
       Failure::Lost},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto s = std::make_shared<Script>();
    s->cards.emplace("Reader A", rig::CardModel(rig::CardType::Classic1K));
    s->faults[row.call] = row.faults;
    Session fresh(FactoryFor(s));
    const Result out = fresh.Run(Make(Command::Detect, 1), settings);
    EXPECT_EQ(out.failure, row.failure) << out.note;
    EXPECT_EQ(s->Count("> "), row.failure ? 0 : 1);
  }
}

TEST_F(SessionTest, TraceShowsEveryApduAndItsStatusWord) {
  PutCard("Reader A", rig::CardType::Classic1K);
  std::vector<std::string> lines;
  settings.trace = [&](std::string_view line) { lines.emplace_back(line); };
  ASSERT_FALSE(Run(Make(Command::Read, 1)).failure);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_NE(lines[0].find("Reader A"), std::string::npos);
  EXPECT_NE(lines[0].find("MIFARE Classic 1K"), std::string::npos);
  EXPECT_EQ(lines[1], "> FF 82 00 00 06 FF FF FF FF FF FF");
  EXPECT_EQ(lines[2], "< SW 90 00");
  EXPECT_EQ(lines[5], "> FF B0 00 01 10");
  EXPECT_EQ(lines[6], "< 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 SW 90 00");
}

class EngineTest : public ::testing::Test {
 protected:
  std::shared_ptr<Script> script = std::make_shared<Script>();
  std::string filter;
  std::unique_ptr<Engine> engine = std::make_unique<Engine>(
      FactoryFor(script), [this] { return Settings{filter, nullptr, nullptr, nullptr}; }, 300ms);

  void SetUp() override {
    script->cards.emplace("Reader A", rig::CardModel(rig::CardType::Classic1K));
  }
  void Block(bool on, bool atBegin) {
    {
      std::lock_guard lock(script->mutex);
      (atBegin ? script->blockBegin : script->block) = on;
    }
    script->released.notify_all();
  }
  void WaitUntilFree() {
    for (int i = 0; i < 500 && engine->Stuck(); ++i) std::this_thread::sleep_for(10ms);
  }
};

const std::string kDetect = "44012020202020202020202020202020202045";
const std::string kRead = "52012020202020202020202020202020202053";
const std::string kWrite = "5701A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A556";

TEST_F(EngineTest, FramesAreCheckedBeforeAnythingElse) {
  EXPECT_EQ(engine->Transceive("4301"), FailureReply(Failure::Length));
  EXPECT_EQ(engine->Transceive("43012020202020202020202020202020202043"),
            FailureReply(Failure::Bcc));
  EXPECT_EQ(script->links, 0);
  EXPECT_EQ(engine->Transceive(kDetect), "41005A1B2C3D11");
}

// An exchange that overruns its time is answered, then stopped at its next
// PC/SC call; until it has left the service, exchanges fail at once.
TEST_F(EngineTest, AnsweredExchangeSendsNothingMore) {
  struct Row {
    const char* what;
    bool atBegin;  // waits for another program's transaction, or for the card
    Failure failure;
  };
  const Row rows[] = {{"card stops answering", false, Failure::Timeout},
                      {"another program's transaction", true, Failure::InUse}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(engine->Transceive(kDetect), "41005A1B2C3D11");
    const int links = script->links;
    script->calls.clear();
    Block(true, row.atBegin);
    EXPECT_EQ(engine->Transceive(kWrite), FailureReply(row.failure));
    EXPECT_TRUE(engine->Stuck());
    for (const std::string& frame : {kRead, kDetect, kWrite})
      EXPECT_EQ(engine->Transceive(frame), FailureReply(Failure::Busy));
    Block(false, row.atBegin);
    WaitUntilFree();
    ASSERT_FALSE(engine->Stuck());
    // Nothing after the APDU in flight: no authentication, no update.
    EXPECT_EQ(script->Count("> FF86"), 0);
    EXPECT_EQ(script->Count("> FFD6"), 0);
    EXPECT_EQ(script->Count("> "), row.atBegin ? 0 : 1);
    EXPECT_EQ(script->Count("end"), 1);
    EXPECT_EQ(script->cards.at("Reader A").Read(16, 16), Bytes(16, 0x00));
    // One worker, one link: later exchanges never ran beside it.
    EXPECT_LE(script->links, links + 1);
    EXPECT_EQ(engine->Transceive(kDetect), "41005A1B2C3D11");
  }
}

TEST_F(EngineTest, WorkersNeverPileUp) {
  Block(true, false);
  EXPECT_EQ(engine->Transceive(kDetect), FailureReply(Failure::Timeout));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(engine->Transceive(kDetect), FailureReply(Failure::Busy));
  EXPECT_EQ(script->links, 1);
  Block(false, false);
  WaitUntilFree();
  EXPECT_EQ(engine->Transceive(kDetect), "41005A1B2C3D11");
}

TEST_F(EngineTest, ReaderInUseIsNoticedOnceWithTheProgramsUsingPcsc) {
  std::vector<std::string> notices;
  std::mutex noticeMutex;
  engine = std::make_unique<Engine>(
      FactoryFor(script),
      [&] {
        Settings settings{filter, nullptr, nullptr, nullptr};
        settings.notice = [&](std::string_view line) {
          std::lock_guard lock(noticeMutex);
          notices.emplace_back(line);
        };
        settings.otherPrograms = [] { return std::vector<std::string>{"holder (PID 42)"}; };
        return settings;
      },
      300ms);
  script->exclusive = {"Reader A"};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(engine->Transceive(kRead), FailureReply(Failure::InUse));
  std::lock_guard lock(noticeMutex);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("in use by another program"), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("\"Reader A\""), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("holder (PID 42)"), std::string::npos) << notices[0];
}

TEST_F(EngineTest, DeviceFind) {
  EXPECT_TRUE(engine->DeviceFind());
  filter = "Reader B";
  EXPECT_FALSE(engine->DeviceFind());
  filter.clear();
  script->readers.clear();
  EXPECT_FALSE(engine->DeviceFind());
  script->readers = {"Reader A"};
  script->faults["list"] = {LinkFault::NoService};
  EXPECT_FALSE(engine->DeviceFind());
  EXPECT_TRUE(engine->DeviceFind());
}

}  // namespace
}  // namespace rfid::pcsc
