// `tarrow-host run` as a person starts it: on a terminal it shows a progress line, in a pipe or
// with --quiet it does not, and the OBJ files are the same either way.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/loader/module_loader.h"
#include "host/run/scene_run.h"
#include "scratch_folder_test.h"

namespace tarrow::integration {
namespace {

struct Finished {
  int status = -1;
  std::string output;  // stdout and stderr as they came
};

// Runs the stand-in host with its stdout and stderr on a new pseudo-terminal or on a pipe; sends
// it the signal once its output holds the text, when one is given.
Finished runHost(const std::vector<std::string>& arguments, bool terminal, int signal = 0,
                 const std::string& signalAfter = "") {
  int reading = -1;
  int writing = -1;
  if (terminal) {
    reading = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(reading, 0);
    EXPECT_EQ(grantpt(reading), 0);
    EXPECT_EQ(unlockpt(reading), 0);
    writing = open(ptsname(reading), O_RDWR | O_NOCTTY);
  } else {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    reading = ends[0];
    writing = ends[1];
  }
  EXPECT_GE(writing, 0);
  const std::string program = (host::executableDirectory() / "tarrow-host").string();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, 0);
    dup2(writing, 1);
    dup2(writing, 2);
    close(reading);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(writing);
  Finished finished;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(reading, buffer, sizeof buffer);
    if (got > 0) {
      finished.output.append(buffer, static_cast<size_t>(got));
      if (signal != 0 && finished.output.find(signalAfter) != std::string::npos) {
        kill(child, signal);
        signal = 0;
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // end of the pipe, or EIO once the terminal's last writer is gone
    }
  }
  close(reading);
  int status = 0;
  waitpid(child, &status, 0);
  finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return finished;
}

std::filesystem::path sourceDir() {
  const char* dir = std::getenv("TARROW_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

class RunCommandTest : public ScratchFolderTest {};

TEST_F(RunCommandTest, ProgressShowsOnATerminalOnlyAndChangesNoOutput) {
  const std::string scene = (sourceDir() / "examples" / "tail.json").string();
  struct Case {
    const char* name;
    bool terminal;
    std::vector<std::string> extra;
    bool progress;
  };
  const Case cases[] = {
      {"terminal", true, {}, true},
      {"pipe", false, {}, false},
      {"terminal, quiet, no pictures", true, {"--quiet", "--no-preview"}, false},
      {"pipe, Japanese labels", false, {"--locale", "ja"}, false},
  };
  std::vector<std::string> reference;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path out = folder_ / c.name;
    std::vector<std::string> arguments{"run", scene, "--out", out.string(), "--threads", "2"};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const Finished finished = runHost(arguments, c.terminal);
    ASSERT_EQ(finished.status, 0) << finished.output;

    // The first frame's line goes out at once; the line is erased before the summary.
    EXPECT_EQ(finished.output.find("\rframe 1 of 91") != std::string::npos, c.progress) << finished.output;
    EXPECT_EQ(finished.output.find("frame ") != std::string::npos, c.progress) << finished.output;
    const size_t summary = finished.output.find("91 frames of ");
    ASSERT_NE(summary, std::string::npos) << finished.output;
    if (c.progress) {
      EXPECT_EQ(finished.output.substr(summary - 2, 2), " \r") << "blanked, back at the start";
    }
    if (!c.terminal) {
      EXPECT_EQ(finished.output.find('\r'), std::string::npos) << "nothing written over";
    }
    const bool pictures = std::find(c.extra.begin(), c.extra.end(), "--no-preview") == c.extra.end();
    EXPECT_EQ(std::filesystem::exists(out / "preview.gif"), pictures);

    std::vector<std::string> objs;
    for (int frame = 0; frame <= 90; ++frame) objs.push_back(read(out / host::frameFileName("Tail", frame)));
    EXPECT_FALSE(objs.back().empty());
    if (reference.empty()) {
      reference = objs;
    } else {
      EXPECT_TRUE(objs == reference) << "OBJ files differ from the first run's";
    }
  }
}

// Interrupted mid-run, the host removes what the run staged, erases its progress line and says
// so in one line, with the shell's status for the signal.
TEST_F(RunCommandTest, AnInterruptedRunLeavesNothingAndSaysSo) {
  const std::string scene = (sourceDir() / "examples" / "tail.json").string();
  struct Case {
    int signal;
    int status;
    const char* line;  // as the terminal shows it
  };
  const Case cases[] = {
      {SIGINT, 130, "tarrow-host run: interrupted by SIGINT; nothing was written\r\n"},
      {SIGTERM, 143, "tarrow-host run: interrupted by SIGTERM; nothing was written\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::filesystem::path out = folder_ / std::to_string(c.signal);
    // Far more frames than are done before the signal arrives.
    const Finished finished = runHost(
        {"run", scene, "--out", out.string(), "--frames", "0:1000000", "--no-preview", "--threads", "1"},
        true, c.signal, "\rframe ");
    EXPECT_EQ(finished.status, c.status) << finished.output;
    const size_t erased = finished.output.rfind(" \r");
    ASSERT_NE(erased, std::string::npos) << finished.output;
    EXPECT_EQ(finished.output.substr(erased + 2), c.line) << "the progress line erased, then one line";
    EXPECT_TRUE(std::filesystem::is_empty(out)) << "no frame and no temporary left";
  }
}

// Help and version go to stdout with status 0; each command's help ends with its exit statuses
// and an example.
TEST_F(RunCommandTest, HelpAndVersionAnswer) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{"--version"}, {"tarrow-host " TARROW_PROJECT_VERSION "\n"}},
      {{"help"}, {"Usage: tarrow-host [OPTIONS] SUBCOMMAND", "help", "run", "panel", "info"}},
      {{"help", "run"},
       {"Usage: tarrow-host run", "--threads N", "Exit status:", "  130  ", "Example:\n  tarrow-host run "}},
      {{"panel", "--help"},
       {"Usage: tarrow-host panel", "--object NAME", "Exit status:", "  70   ",
        "Example:\n  tarrow-host panel "}},
      {{"help", "info"},
       {"Usage: tarrow-host info", "Exit status:", "  1    ", "Example:\n  tarrow-host info "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const Finished finished = runHost(c.arguments, false);
    EXPECT_EQ(finished.status, 0) << finished.output;
    for (const std::string& part : c.expected)
      EXPECT_NE(finished.output.find(part), std::string::npos) << part;
  }
}

TEST_F(RunCommandTest, AnUnknownLocaleIsRefusedWithOneLine) {
  const std::string scene = (sourceDir() / "examples" / "tail.json").string();
  const Finished finished =
      runHost({"run", scene, "--out", (folder_ / "out").string(), "--locale", "fr"}, false);
  EXPECT_EQ(finished.status, 2);
  EXPECT_EQ(finished.output, "tarrow-host run: --locale: takes ja or en, not \"fr\"\n");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "out"));
}

// A saved pivot whose item the scene lacks: the run goes on with the object as the pivot, and one
// line says which object names which id.
TEST_F(RunCommandTest, APivotItemTheSceneLacksIsNamedAndTheObjectLeads) {
  const auto sceneWith = [](const std::string& pivot) {
    return R"({"fps": 10, "frames": [0, 6], "items": [
      {"name": "Strand", "type": "object",
       "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0]}],
       "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]],
       "deformers": [{"server": "Tarrow_plus", "state": "{ Version 1 }\n{ LagRate 0.25 }\n)" +
           pivot + R"("}]}]})";
  };
  const Finished missing =
      runHost({"run", write("missing.json", sceneWith("{ PivotItem 1 10000009 }\\n")).string(), "--out",
               (folder_ / "missing").string(), "--no-preview", "--quiet"},
              false);
  EXPECT_EQ(missing.status, 0) << missing.output;
  EXPECT_EQ(missing.output.substr(0, missing.output.find('\n') + 1),
            "tarrow-host run: warning: \"Strand\" uses item 10000009, which is not in the scene\n");
  EXPECT_EQ(std::count(missing.output.begin(), missing.output.end(), '\n'), 2) << missing.output;
  const Finished own = runHost({"run", write("own.json", sceneWith("")).string(), "--out",
                                (folder_ / "own").string(), "--no-preview", "--quiet"},
                               false);
  EXPECT_EQ(own.status, 0) << own.output;
  for (int frame = 0; frame <= 6; ++frame) {
    const std::string name = host::frameFileName("Strand", frame);
    EXPECT_EQ(read(folder_ / "missing" / name), read(folder_ / "own" / name)) << name;
  }
  // The setting is kept: the scene saved back names the same id.
  const Finished saved =
      runHost({"run", (folder_ / "missing.json").string(), "--out", (folder_ / "again").string(),
               "--no-preview", "--quiet", "--save-scene", (folder_ / "saved.json").string()},
              false);
  EXPECT_EQ(saved.status, 0) << saved.output;
  EXPECT_NE(read(folder_ / "saved.json").find("{ PivotItem 1 10000009 }"), std::string::npos);
}

// An .lws scene away from its objects: found only through --content; what the host does not
// evaluate is a warning line and the run goes on; a missing object is one line, nothing written.
TEST_F(RunCommandTest, AnLwsSceneFindsItsObjectsThroughContentAndWarnsOfWhatItSkips) {
  const std::filesystem::path examples = sourceDir() / "examples";
  const std::string text =
      read(examples / "tail.lws") + "Plugin ItemMotionHandler 1 LW_Jolt\r\nEndPlugin\r\n";
  const std::string scene = write("shot.lws", text).string();
  const size_t loadLine =
      static_cast<size_t>(std::count(text.begin(), text.begin() + text.find("LoadObjectLayer"), '\n')) + 1;
  const size_t pluginLine = static_cast<size_t>(std::count(
                                text.begin(), text.begin() + text.find("Plugin ItemMotionHandler"), '\n')) +
                            1;
  const std::string out = (folder_ / "out").string();

  const Finished missing =
      runHost({"run", scene, "--out", out, "--content", (folder_ / "none").string()}, false);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output.rfind("tarrow-host run: " + scene + ": line " + std::to_string(loadLine) +
                                     ": the object file Objects/tail/Tail.lwo is not found; tried ",
                                 0),
            0u)
      << missing.output;
  EXPECT_EQ(std::count(missing.output.begin(), missing.output.end(), '\n'), 1) << missing.output;
  EXPECT_FALSE(std::filesystem::exists(out));

  const Finished found = runHost(
      {"run", scene, "--out", out, "--content", examples.string(), "--frames", "0:2", "--no-preview"}, false);
  EXPECT_EQ(found.status, 0) << found.output;
  EXPECT_EQ(found.output, "tarrow-host run: warning: " + scene + ": line " + std::to_string(pluginLine) +
                              ": the motion modifier \"LW_Jolt\" on \"Tail\" is not evaluated\n3 frames of " +
                              scene + " written to " + out + "\n");
  EXPECT_TRUE(std::filesystem::exists(folder_ / "out" / host::frameFileName("Tail", 2)));

  const Finished panel = runHost({"panel", scene, "--object", "Tail", "--content", examples.string()}, false);
  EXPECT_EQ(panel.status, 0) << panel.output;
  EXPECT_EQ(
      panel.output.rfind("tarrow-host panel: warning: " + scene + ": line " + std::to_string(pluginLine) +
                             ": the motion modifier \"LW_Jolt\" on \"Tail\" is not evaluated\nTarrow_plus\n",
                         0),
      0u)
      << panel.output;
}

// Every supported release, by --host-version and by a scene's "host", runs the same frame; info
// says which generation each is and what a plug-in scan sees of the module; an unknown release in
// a scene stops the run with one line.
TEST_F(RunCommandTest, EveryReleaseRunsAndInfoNamesItsGeneration) {
  const std::filesystem::path tail = sourceDir() / "examples" / "tail.json";
  nlohmann::json scene = nlohmann::json::parse(read(tail));
  const std::pair<const char*, const char*> releases[] = {{"2015", "2015.3"}, {"2018", "2018"},
                                                          {"2020", "2020"},   {"2023", "2020"},
                                                          {"2024", "2020"},   {"2025", "2020"}};
  std::string reference;
  for (const auto& [release, generation] : releases) {
    SCOPED_TRACE(release);
    scene["host"] = release;
    const std::string named = write(std::string(release) + ".json", scene.dump()).string();
    for (const std::vector<std::string>& how :
         {std::vector<std::string>{"run", tail.string(), "--host-version", release},
          std::vector<std::string>{"run", named}}) {
      std::vector<std::string> arguments = how;
      const std::filesystem::path out = folder_ / (std::string(release) + std::to_string(arguments.size()));
      arguments.insert(arguments.end(), {"--out", out.string(), "--frames", "40", "--no-preview"});
      const Finished finished = runHost(arguments, false);
      EXPECT_EQ(finished.status, 0) << finished.output;
      EXPECT_NE(finished.output.find("1 frame of "), std::string::npos) << finished.output;
      const std::string frame = read(out / host::frameFileName("Tail", 40));
      EXPECT_FALSE(frame.empty());
      if (reference.empty()) reference = frame;
      EXPECT_TRUE(frame == reference) << "the frame differs";
    }
    const Finished info = runHost({"info", "--host-version", release}, false);
    EXPECT_EQ(info.status, 0) << info.output;
    for (const std::string& part : std::vector<std::string>{
             "module ", "  sysSync    0x04121994\n", "servers 2\n  DisplacementHandler \"Tarrow_plus\"\n",
             "  DisplacementInterface \"Tarrow_plus\"\n",
             "host LightWave 3D " + std::string(release) + ", generation " + generation + " ("}) {
      EXPECT_NE(info.output.find(part), std::string::npos) << part << " in " << info.output;
    }
  }
  scene["host"] = "2019";
  const Finished unknown = runHost(
      {"run", write("2019.json", scene.dump()).string(), "--out", (folder_ / "2019").string()}, false);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.output.find("2019.json: /host: unknown host version \"2019\"; known: 2015, 2018, 2020, "
                                "2023, 2024, 2025\n"),
            std::string::npos)
      << unknown.output;
}

// One frame is a range of one; a run that leaves frames of an earlier one behind says how many it
// removed; a saved state the load cannot take whole is one warning line, and the run goes on.
TEST_F(RunCommandTest, TheSummarySaysWhatWasRemovedAndWarningsDoNotStopTheRun) {
  const std::filesystem::path tail = sourceDir() / "examples" / "tail.json";
  const std::string out = (folder_ / "out").string();
  ASSERT_EQ(runHost({"run", tail.string(), "--out", out, "--frames", "0:3", "--no-preview"}, false).status,
            0);
  const Finished one = runHost({"run", tail.string(), "--out", out, "--frames", "2", "--no-preview"}, false);
  EXPECT_EQ(one.status, 0) << one.output;
  EXPECT_NE(one.output.find("1 frame of " + tail.string() + " written to " + out +
                            "; 3 frames of an earlier run removed\n"),
            std::string::npos)
      << one.output;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(out)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"Tail_0002.obj"});

  nlohmann::json scene = nlohmann::json::parse(read(tail));
  scene["items"][2]["deformers"][0]["state"] = "{ Version 1 }\n{ LagRate fast }\n";
  const Finished warned = runHost(
      {"run", write("warned.json", scene.dump()).string(), "--out", out, "--frames", "2", "--no-preview"},
      false);
  EXPECT_EQ(warned.status, 0) << warned.output;
  EXPECT_NE(
      warned.output.find("tarrow-host run: warning: " + (folder_ / "warned.json").string() +
                         ": /items/2/deformers/0/state (object \"Tail\"): line 2, column 11: a number was "
                         "read, and \"fast\" stands there; the rest was loaded\n"),
      std::string::npos)
      << warned.output;
  EXPECT_NE(warned.output.find("1 frame of "), std::string::npos) << warned.output;
}

// `panel` as a person runs it: several --set in order, --save-scene, and its exit statuses (0 done,
// 1 a value the panel cannot take, with nothing saved, 2 a command line it cannot use).
TEST_F(RunCommandTest, PanelRunsAsAProcess) {
  const std::string tail = (sourceDir() / "examples" / "tail.json").string();
  const std::filesystem::path saved = folder_ / "edited.json";
  const Finished edited =
      runHost({"panel", tail, "--object", "Tail", "--locale", "en", "--set", "Lag Rate (s/m)=0.25", "--set",
               "Local Pivot=on", "--set", "Lag Rate (s/m)=0.5", "--save-scene", saved.string()},
              false);
  EXPECT_EQ(edited.status, 0) << edited.output;
  for (const char* part : {"Lag Rate (s/m): 0.5\n", "Local Pivot: on\n", "scene saved to "}) {
    EXPECT_NE(edited.output.find(part), std::string::npos) << part << " in " << edited.output;
  }
  const std::string state =
      nlohmann::json::parse(read(saved))["items"][2]["deformers"][0]["state"].get<std::string>();
  EXPECT_NE(state.find("{ LagRate 0.5 }\n{ PivotItem 0 0 }\n{ PivotLocal 1 }\n"), std::string::npos) << state;
  const Finished rerun = runHost({"panel", saved.string(), "--object", "Tail", "--locale", "en"}, false);
  EXPECT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_NE(rerun.output.find("Lag Rate (s/m): 0.5\n"), std::string::npos) << rerun.output;

  const std::filesystem::path notSaved = folder_ / "not-saved.json";
  const Finished refused = runHost(
      {"panel", tail, "--object", "Tail", "--set", "Local Pivot=maybe", "--save-scene", notSaved.string()},
      false);
  EXPECT_EQ(refused.status, 1) << refused.output;
  EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
  EXPECT_EQ(refused.output.rfind("tarrow-host panel: ", 0), 0u) << refused.output;
  EXPECT_FALSE(std::filesystem::exists(notSaved));
  EXPECT_EQ(runHost({"panel", tail, "--object", "Tail", "--deformer", "x"}, false).status, 2);
  EXPECT_EQ(runHost({"panel", tail, "--object", "Nobody"}, false).status, 1);
}

}  // namespace
}  // namespace tarrow::integration
#endif
