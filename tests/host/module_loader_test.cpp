#include "host/loader/module_loader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "host/base/path_text.h"
#include "host/base/unique_name.h"
#include "tests/fixtures/sample_module.h"

namespace tarrow::host {
namespace {

namespace fs = std::filesystem;

// The fixture libraries are built next to the test program.
fs::path fixture(const char* name) { return executableDirectory() / name; }

class ModuleLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = fs::temp_directory_path() / ("tarrow-loader-test-" + uniqueSuffix());
    fs::create_directories(scratch_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }
  fs::path writeFile(const std::string& name, const std::string& bytes) {
    const fs::path file = scratch_ / name;
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }
  // The first bytes of a library for the other platform or another processor.
  static std::string elfHeader(char elfClass, uint16_t machine) {
    std::string bytes(64, '\0');
    bytes.replace(0, 4,
                  "\x7f"
                  "ELF");
    bytes[4] = elfClass;
    bytes[5] = 1;
    bytes[6] = 1;
    bytes[16] = 3;  // shared object
    bytes[18] = static_cast<char>(machine & 0xff);
    bytes[19] = static_cast<char>(machine >> 8);
    return bytes;
  }
  static std::string peHeader(uint16_t machine) {
    std::string bytes(512, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3c] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x44] = static_cast<char>(machine & 0xff);
    bytes[0x45] = static_cast<char>(machine >> 8);
    return bytes;
  }
  static std::string refusal(const fs::path& file) {
    try {
      LoadedModule::open(file);
    } catch (const ModuleError& error) {
      return error.what();
    }
    return "(loaded)";
  }

  fs::path scratch_;
};

TEST_F(ModuleLoader, RefusesWhatIsNoModuleWithAOneLineReasonNamingTheFile) {
#ifdef _WIN32
  const char* textReason = "is not a library";
  const char* otherPlatform = "is an ELF shared object";
  const char* otherProcessor = "is built for x86 (32-bit)";
  const std::string brokenLibrary = peHeader(0x8664);
#else
  const char* textReason = "is not a shared library";
  const char* otherPlatform = "is a Windows DLL";
  const char* otherProcessor = "is a 32-bit ELF file";
  const std::string brokenLibrary = elfHeader(2, 62);
#endif
  struct Case {
    const char* what;
    std::function<fs::path()> file;
    std::string reason;
  };
  const Case cases[] = {
      {"missing file", [&] { return scratch_ / "absent.p"; }, "no such file"},
      {"directory", [&] { return scratch_; }, "is a directory"},
      {"empty file", [&] { return writeFile("empty.p", ""); }, "is empty, so it cannot be a module"},
      {"text file", [&] { return writeFile("notes.p", "{ Version 1 }\n"); }, textReason},
      {"other platform",
       [&] {
#ifdef _WIN32
         return writeFile("other.p", elfHeader(2, 62));
#else
         return writeFile("other.p", peHeader(0x8664));
#endif
       },
       otherPlatform},
      {"other processor",
       [&] {
#ifdef _WIN32
         return writeFile("i386.p", peHeader(0x14c));
#else
         return writeFile("i386.p", elfHeader(1, 3));
#endif
       },
       otherProcessor},
      {"header only", [&] { return writeFile("cut.p", brokenLibrary); }, "cannot be loaded: "},
      {"library", [] { return fixture("not_a_module.p"); },
       "is a library but not a module: it exports no _mod_descrip"},
      {"sysSync", [] { return fixture("bad_sync_module.p"); },
       "wrong sysSync 0x19940412 (this host expects 0x04121994)"},
      {"sysVersion", [] { return fixture("bad_version_module.p"); },
       "wrong sysVersion 2 (this host expects 3)"},
      {"sysMachine", [] { return fixture("bad_machine_module.p"); }, "wrong sysMachine 0x00000200"},
      {"server table", [] { return fixture("no_servers_module.p"); }, "has no server table"},
      {"start-up", [] { return fixture("failing_startup_module.p"); }, "start-up entry failed"},
  };
  for (const Case& c : cases) {
    const fs::path file = c.file();
    const std::string message = refusal(file);
    EXPECT_EQ(message.rfind(displayPath(file) + ": ", 0), 0u) << c.what << ": " << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.what << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << c.what << ": " << message;
  }
}

TEST_F(ModuleLoader, ReadsTheServerTableAsAPluginScanWould) {
  const auto module = LoadedModule::open(fixture("sample_module.p"));
  EXPECT_EQ(module->descriptor().sysSync, MOD_SYSSYNC);
  const auto servers = module->servers();
  ASSERT_EQ(servers.size(), 5u);
  EXPECT_EQ(servers[0].className, "SampleHandler");
  EXPECT_EQ(servers[0].name, "alpha");
  ASSERT_EQ(servers[0].tags.size(), 2u);
  EXPECT_EQ(servers[0].tags[0].text, "Alpha");
  EXPECT_EQ(servers[0].tags[0].tag, 0x409u);
  EXPECT_EQ(servers[0].tags[1].tag, 0x10411u);
  EXPECT_EQ(servers[1].name, "beta");
  EXPECT_TRUE(servers[1].tags.empty());
  EXPECT_EQ(servers[2].className, "SampleInterface");
  EXPECT_EQ(servers[4].className, "DisplacementHandler");
  EXPECT_EQ(servers[4].name, "Nudge");

  EXPECT_EQ(module->findServer("SampleHandler", "beta"), module->descriptor().serverDefs + 1);
  EXPECT_EQ(module->findServer("SampleInterface", "alpha"), module->descriptor().serverDefs + 2);
  EXPECT_EQ(module->findServer("SampleHandler", "gamma"), nullptr);
  EXPECT_EQ(module->findServer("OtherClass", "alpha"), nullptr);
}

TEST_F(ModuleLoader, LoadsAFileNamedRelativeToTheCurrentFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(executableDirectory());
  std::string failure;
  try {
    const auto module = LoadedModule::open("sample_module.p");
    EXPECT_EQ(module->path(), fs::path("sample_module.p"));
    EXPECT_EQ(module->servers().size(), 5u);
  } catch (const ModuleError& error) {
    failure = error.what();
  }
  fs::current_path(previous);
  EXPECT_EQ(failure, "");
}

TEST_F(ModuleLoader, ActivatesByClassAndNameWithTheStartupValue) {
  int32_t shutdownSeen = 0;
  {
    const auto module = LoadedModule::openFresh(fixture("sample_module.p"));
    SampleReport report{-1, -1, nullptr, &shutdownSeen};
    EXPECT_EQ(module->activate("SampleHandler", "alpha", 5, &report, nullptr), AFUNC_OK);
    EXPECT_EQ(report.version, 5);
    EXPECT_EQ(report.serverData, module->serverData());
    EXPECT_NE(report.serverData, nullptr);
    EXPECT_EQ(module->activate("SampleHandler", "beta", 4, &report, nullptr), AFUNC_BADVERSION);
    EXPECT_EQ(report.version, 4);
    EXPECT_THROW(module->activate("SampleHandler", "gamma", 5, &report, nullptr), ModuleError);
    EXPECT_THROW(module->activate("SampleInterface", "unbound", 4, &report, nullptr), ModuleError);
    EXPECT_EQ(shutdownSeen, 0);
  }
  EXPECT_EQ(shutdownSeen, 1);
}

TEST_F(ModuleLoader, OpenFreshGivesANewImageWhileOpenSharesOne) {
  const fs::path file = fixture("sample_module.p");
  auto startupsSeenBy = [](const LoadedModule& module) {
    SampleReport report{-1, -1, nullptr, nullptr};
    module.activate("SampleHandler", "alpha", 5, &report, nullptr);
    return report.startups;
  };
  const auto first = LoadedModule::open(file);
  const int before = startupsSeenBy(*first);
  const auto second = LoadedModule::open(file);
  EXPECT_EQ(startupsSeenBy(*second), before + 1);
  EXPECT_EQ(startupsSeenBy(*first), before + 1);

  auto countCopies = [] {
    int copies = 0;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
      const std::string name = entry.path().filename().string();
      copies += name.rfind("tarrow-", 0) == 0 && name.ends_with("-sample_module.p") ? 1 : 0;
    }
    return copies;
  };
  const int copiesBefore = countCopies();
  {
    const auto fresh = LoadedModule::openFresh(file);
    EXPECT_EQ(startupsSeenBy(*fresh), 1);
    EXPECT_EQ(fresh->path(), file);
    EXPECT_EQ(countCopies(), copiesBefore + 1);
  }
  EXPECT_EQ(countCopies(), copiesBefore);
  EXPECT_EQ(startupsSeenBy(*first), before + 1);
}

}  // namespace
}  // namespace tarrow::host
