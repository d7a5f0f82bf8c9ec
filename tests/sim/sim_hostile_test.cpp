// A state path that is not a plain file, links around the state file, and
// counters at their limits: each gives a failure at once, never a hang, and
// the state stays readable.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>

#include <cstring>
#include <functional>
#include <iostream>

#include "sim_reader.h"
#include "sim_support.h"

namespace rfid::sim::testing {
namespace {

namespace fs = std::filesystem;

// Runs the library call in a child that an alarm kills after 5 s: a hang
// shows as a failed child, not as a stuck test.
bool LibraryAnswersFailureQuickly(std::string* reply) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = Child([&] {
    alarm(5);
    const Reply r = Send(ReadFrame(1));
    const bool found = Library().DeviceFind() != 0;
    const std::string out = r.text + (found ? " found" : " not-found");
    (void)!write(fds[1], out.data(), out.size());
    return true;
  });
  close(fds[1]);
  char buffer[128] = {};
  const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
  close(fds[0]);
  if (n > 0) *reply = std::string(buffer, std::size_t(n));
  return Succeeded(pid);
}

struct HostilePath {
  const char* name;
  // Puts the hostile thing at path; false when this machine does not allow it.
  std::function<bool(const std::string& path, const std::string& dir)> make;
  const char* says;  // what the message calls it
};

TEST_F(SimTest, AStatePathThatIsNotAPlainFileFailsAtOnceWithAMessage) {
  const std::vector<HostilePath> rows = {
      {"FIFO", [](const std::string& p, const std::string&) { return mkfifo(p.c_str(), 0600) == 0; },
       "a FIFO"},
      {"folder", [](const std::string& p, const std::string&) { return fs::create_directory(p); },
       "a folder"},
      {"device",
       [](const std::string& p, const std::string&) {
         return mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;  // like /dev/null
       },
       "a device"},
      {"link to a state file",
       [](const std::string& p, const std::string& d) {
         const std::string target = d + "/elsewhere";
         StateStore(target).Replace(DefaultState());
         return symlink(target.c_str(), p.c_str()) == 0;
       },
       "symbolic link"},
      {"dangling link",
       [](const std::string& p, const std::string& d) {
         return symlink((d + "/nothing").c_str(), p.c_str()) == 0;
       },
       "symbolic link"},
  };
  for (const HostilePath& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(m_Path);
    fs::remove(m_Dir + "/elsewhere");
    if (!row.make(m_Path, m_Dir)) {
      // Only a device needs rights a test may lack.
      if (std::string(row.name) != "device") ADD_FAILURE() << std::strerror(errno);
      std::cout << "row " << row.name << " skipped: " << std::strerror(errno) << '\n';
      continue;
    }
    const auto kind = fs::symlink_status(m_Path).type();

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"show"}, {"attach"}, {"reset"}}) {
      const ToolResult r = RunTool(args);
      EXPECT_EQ(r.code, 1) << args[0];
      EXPECT_NE(r.err.find("tqr-sim: "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(m_Path), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
      EXPECT_EQ(fs::symlink_status(m_Path).type(), kind) << args[0] << " replaced it";
    }

    std::string reply;
    EXPECT_TRUE(LibraryAnswersFailureQuickly(&reply)) << "the library hung or crashed";
    EXPECT_EQ(reply, FailureReply(Failure::State) + " not-found");
    EXPECT_EQ(fs::symlink_status(m_Path).type(), kind);
    if (fs::exists(m_Dir + "/elsewhere")) {  // the link's target is left alone
      EXPECT_EQ(FileText(m_Dir + "/elsewhere"), FormatState(DefaultState()));
    }
  }
}

TEST_F(SimTest, TheTemporaryFileIsCreatedAfreshNeverThroughALink) {
  const std::string victim = m_Dir + "/victim";
  const std::string temp = m_Path + ".tmp";
  struct Row {
    const char* name;
    std::function<void()> put;
  };
  const std::vector<Row> rows = {
      {"link to another file", [&] { fs::create_symlink(victim, temp); }},
      {"dangling link", [&] { fs::create_symlink(m_Dir + "/nowhere", temp); }},
      {"leftover of a crashed writer",
       [&] { std::ofstream(temp) << "tqr-sim-state 1\nhalf a state"; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(victim) << "precious\n";
    fs::remove(temp);
    row.put();
    Tool({"block", "1", "0012345678AAAAAA2020202020202020"});
    EXPECT_EQ(FileText(victim), "precious\n");
    EXPECT_FALSE(fs::exists(m_Dir + "/nowhere"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_Path)));
    EXPECT_EQ(Load().card.Block(1), "0012345678AAAAAA2020202020202020");
    Tool({"reset"});
  }
}

TEST(SimCounters, StopAtTheirLimitsAndTheStateStaysReadable) {
  struct Row {
    const char* name;
    std::string frame;
    std::function<void(State&)> atLimit;
    std::function<void(const State&)> check;
  };
  const std::vector<Row> rows = {
      {"good beeps", WithBcc(GoodBeepBody()), [](State& s) { s.goodBeeps = kMaxBeeps; },
       [](const State& s) { EXPECT_EQ(s.goodBeeps, kMaxBeeps); }},
      {"error beeps", WithBcc(ErrorBeepBody()), [](State& s) { s.errorBeeps = kMaxBeeps; },
       [](const State& s) { EXPECT_EQ(s.errorBeeps, kMaxBeeps); }},
      {"exchanges", WithBcc(ReadBody(1)), [](State& s) { s.exchanges = kMaxExchanges; },
       [](const State& s) { EXPECT_EQ(s.exchanges, kMaxExchanges); }},
      {"one below", WithBcc(GoodBeepBody()), [](State& s) { s.goodBeeps = kMaxBeeps - 1; },
       [](const State& s) { EXPECT_EQ(s.goodBeeps, kMaxBeeps); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    State s = DefaultState();
    row.atLimit(s);
    for (int i = 0; i < 3; ++i) {
      const Response out = Respond(s, row.frame, 1);
      EXPECT_TRUE(ReplyOk(out.reply)) << out.reply;
      row.check(s);
      State back;
      ASSERT_NO_THROW(back = ParseState(FormatState(s)));
      row.check(back);
    }
  }
}

TEST_F(SimTest, TheLibraryKeepsCountingAtTheLimitWithoutSpoilingTheFile) {
  State s = DefaultState();
  s.goodBeeps = kMaxBeeps;
  s.exchanges = kMaxExchanges;
  StateStore(m_Path).Replace(s);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Status(Send(WithBcc(GoodBeepBody()))), "4100");
  const State after = Load();
  EXPECT_EQ(after.goodBeeps, kMaxBeeps);
  EXPECT_EQ(after.exchanges, kMaxExchanges);
  const ToolResult r = RunTool({"show"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("good 2000000000"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace rfid::sim::testing
