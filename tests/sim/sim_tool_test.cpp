// The tqr-sim tool, run as its own process against the test's state file.
#include "dynamic_library.h"
#include "sim_reader.h"
#include "sim_support.h"

namespace rfid::sim::testing {
namespace {

// "2025-01-31 12:34:56.789  frame  reply  note"
bool IsLogLine(const std::string& line) {
  const std::string shape = "dddd-dd-dd dd:dd:dd.ddd  ";
  if (line.size() < shape.size() + 5) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
  }
  const std::string rest = line.substr(shape.size());
  const auto a = rest.find("  ");
  return a != std::string::npos && a > 0 && rest.find("  ", a + 2) != std::string::npos;
}

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

TEST_F(SimTest, ToolHelpAndShowOfTheDefaultState) {
  const ToolResult help = RunTool({"help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: tqr-sim", 0), 0u);
  // The library as this platform names it (tqr_32.dll on Windows).
  EXPECT_NE(help.out.find("reader that " + rfid::LibraryFileName("tqr_32") + " emulates"),
            std::string::npos);
  EXPECT_EQ(help.err, "");

  const ToolResult show = RunTool({"show"});
  EXPECT_EQ(show.code, 0) << show.err;
  for (const char* part : {"reader:     attached", "ISO 14443A, UID 1A2B3C4D, on the field",
                           "all blank", "faults:     none", "good 0, error 0"})
    EXPECT_NE(show.out.find(part), std::string::npos) << part << "\n" << show.out;
  EXPECT_NE(show.out.find(m_Path), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(m_Path));  // looking changes nothing
}

TEST_F(SimTest, ToolCommandsChangeTheState) {
  struct Case {
    std::vector<std::string> args;
    std::function<bool(const State&)> holds;
  };
  const std::string data = "00112233445566778899AABBCCDDEEFF";
  const std::vector<Case> cases = {
      {{"detach"}, [](const State& s) { return !s.attached; }},
      {{"attach"}, [](const State& s) { return s.attached; }},
      {{"block", "3", "00112233445566778899aabbccddeeff"},
       [&](const State& s) { return s.card.Block(3) == data; }},
      {{"block", "003", std::string(32, '0')}, [](const State& s) { return s.card.blocks.empty(); }},
      {{"card", "15693"},
       [](const State& s) {
         return s.card.kind == CardKind::Iso15693 && s.card.uid == DefaultUid(CardKind::Iso15693);
       }},
      {{"card", "14443A", "c0ffee01"},
       [](const State& s) { return s.card.uid == "C0FFEE01" && s.card.onField; }},
      {{"card", "none"}, [](const State& s) { return !s.card.onField && s.card.uid == "C0FFEE01"; }},
      {{"fault", "fail", "52", "3"},
       [](const State& s) { return s.faults.fail.at(0x52) == FaultSwitch{true, 3}; }},
      {{"fault", "fail", "43"},
       [](const State& s) { return s.faults.fail.at(0x43) == FaultSwitch{true, 0}; }},
      {{"fault", "lost-write"}, [](const State& s) { return s.faults.lostWrite.on; }},
      {{"fault", "wrong-read", "2"},
       [](const State& s) { return s.faults.wrongRead == FaultSwitch{true, 2}; }},
      {{"fault", "garbage"}, [](const State& s) { return s.faults.garbage.on; }},
      {{"fault", "overlong", "1"},
       [](const State& s) { return s.faults.overlong == FaultSwitch{true, 1}; }},
      {{"fault", "delay", "20"}, [](const State& s) { return s.faults.delayMs == 20; }},
      {{"fault", "clear", "fail", "52"},
       [](const State& s) { return !s.faults.fail.count(0x52) && s.faults.fail.count(0x43); }},
      {{"fault", "clear", "garbage"},
       [](const State& s) { return !s.faults.garbage.on && s.faults.lostWrite.on; }},
      {{"fault", "clear", "delay"}, [](const State& s) { return s.faults.delayMs == 0; }},
      {{"fault", "clear"}, [](const State& s) { return !s.faults.Any(); }},
      {{"reset"},
       [](const State& s) {
         const State d = DefaultState();
         return s.attached && s.card.onField && s.card.uid == d.card.uid && s.log.empty();
       }},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    SCOPED_TRACE(name);
    const ToolResult r = RunTool(c.args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out, "");
    EXPECT_TRUE(c.holds(Load()));
  }
}

TEST_F(SimTest, ToolShowsBlocksFaultsAndBeeps) {
  Tool({"block", "200", "0000012345AAAAAA2020202020202020"});
  Tool({"fault", "fail", "57"});
  Tool({"fault", "delay", "5"});
  Send(WithBcc(GoodBeepBody()));
  Send(WithBcc(ErrorBeepBody()));
  Send(WithBcc(ErrorBeepBody()));
  const ToolResult show = RunTool({"show"});
  for (const char* part : {"block 200: 0000012345AAAAAA2020202020202020", "fail 57 (every time)",
                           "delay 5 ms", "good 1, error 2", "3 since reset"})
    EXPECT_NE(show.out.find(part), std::string::npos) << part << "\n" << show.out;
  const ToolResult block = RunTool({"block", "200"});
  EXPECT_EQ(block.out, "0000012345AAAAAA2020202020202020\n");
  EXPECT_EQ(RunTool({"block", "201"}).out, std::string(32, '0') + "\n");
  const ToolResult faults = RunTool({"fault"});
  EXPECT_EQ(faults.out, "fail 57 (every time)\ndelay 5 ms\n");
}

TEST_F(SimTest, ToolRefusesBadInputAndChangesNothing) {
  Tool({"block", "1", "0000012345AAAAAA2020202020202020"});
  Tool({"fault", "garbage", "4"});
  Send(ReadFrame(1));
  const std::string before = FileText(m_Path);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"show", "all"},
      {"attach", "now"},
      {"card"},
      {"card", "14443B"},
      {"card", "14443A", "1A2B3C"},
      {"card", "14443A", "1A2B3C4D5E"},
      {"card", "15693", "1A2B3C4D"},
      {"card", "15693", "1A2B3C4D5E6F708G"},
      {"card", "none", "1A2B3C4D"},
      {"card", "14443A", "1A2B3C4D", "x"},
      {"block"},
      {"block", "256"},
      {"block", "-1"},
      {"block", "0x10"},
      {"block", "1", "0000012345AAAAAA202020202020202"},
      {"block", "1", "0000012345AAAAAA20202020202020200"},
      {"block", "1", "0000012345AAAAAA202020202020202Z"},
      {"block", "1", "0000012345AAAAAA2020202020202020", "x"},
      {"fault", "fail"},
      {"fault", "fail", "58"},
      {"fault", "fail", "5"},
      {"fault", "fail", "57", "0"},
      {"fault", "fail", "57", "-3"},
      {"fault", "garbage", "x"},
      {"fault", "garbage", "1", "2"},
      {"fault", "delay"},
      {"fault", "delay", "60001"},
      {"fault", "delay", "1.5"},
      {"fault", "melt"},
      {"fault", "clear", "melt"},
      {"fault", "clear", "fail", "99"},
      {"fault", "clear", "garbage", "1"},
      {"log", "0"},
      {"log", "many"},
      {"log", "1", "2"},
      {"reset", "hard"},
      {"help", "me"},
  };
  for (const auto& args : cases) {
    std::string name;
    for (const auto& a : args) name += a + " ";
    SCOPED_TRACE(name);
    const ToolResult r = RunTool(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("tqr-sim: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: tqr-sim"), std::string::npos);
    EXPECT_EQ(FileText(m_Path), before);
  }
}

TEST_F(SimTest, ToolLogShowsFrameReplyAndTime) {
  Send(WithBcc(GoodBeepBody()));
  Send(ReadFrame(1));
  Send(std::string("43\x01 \xff", 5));
  Tool({"detach"});
  Send(ReadFrame(2));
  const ToolResult all = RunTool({"log"});
  ASSERT_EQ(all.code, 0);
  ASSERT_EQ(Lines(all.out), 4) << all.out;
  std::istringstream in(all.out);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) {
    EXPECT_TRUE(IsLogLine(l)) << l;
    lines.push_back(l);
  }
  EXPECT_NE(lines[0].find("  " + WithBcc(GoodBeepBody()) + "  " + SuccessReply("") +
                          "  good beep"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(SuccessReply(BlankBlock())), std::string::npos);
  EXPECT_NE(lines[2].find("43\\x01\\x20\\xFF"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("(no reply)"), std::string::npos);

  const ToolResult two = RunTool({"log", "2"});
  EXPECT_EQ(Lines(two.out), 2);
  EXPECT_EQ(two.out, lines[2] + "\n" + lines[3] + "\n");
  Tool({"reset"});
  EXPECT_EQ(RunTool({"log"}).out, "no exchanges\n");
}

TEST_F(SimTest, ToolAndLibraryFindTheSameStateFile) {
  const std::string xdg = m_Dir + "/xdg";
  const std::string home = m_Dir + "/home";
  struct Case {
    std::vector<std::string> env;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"TQR_SIM_STATE=" + m_Dir + "/named"}, m_Dir + "/named"},
      {{"TQR_SIM_STATE", "XDG_STATE_HOME=" + xdg}, xdg + "/rfid-console/tqr-sim.state"},
      {{"TQR_SIM_STATE", "XDG_STATE_HOME=relative", "HOME=" + home},
       home + "/.local/state/rfid-console/tqr-sim.state"},
      {{"TQR_SIM_STATE=", "XDG_STATE_HOME", "HOME=" + home},
       home + "/.local/state/rfid-console/tqr-sim.state"},
  };
  const char* savedXdg = std::getenv("XDG_STATE_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string oldXdg = savedXdg ? savedXdg : "", oldHome = savedHome ? savedHome : "";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    const ToolResult r = RunTool({"path"}, c.env);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, c.expected + "\n");
    // The library, in this process under the same environment, writes there.
    for (const std::string& e : c.env) {
      const auto eq = e.find('=');
      if (eq == std::string::npos)
        unsetenv(e.c_str());
      else
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    EXPECT_TRUE(ReplyOk(Send(WithBcc(GoodBeepBody())).text));
    EXPECT_TRUE(std::filesystem::exists(c.expected));
    EXPECT_EQ(StateStore(c.expected).Load().goodBeeps, 1);
    std::filesystem::remove(c.expected);
    setenv("TQR_SIM_STATE", m_Path.c_str(), 1);
  }
  if (savedXdg) setenv("XDG_STATE_HOME", oldXdg.c_str(), 1); else unsetenv("XDG_STATE_HOME");
  if (savedHome) setenv("HOME", oldHome.c_str(), 1); else unsetenv("HOME");
}

}  // namespace
}  // namespace rfid::sim::testing
