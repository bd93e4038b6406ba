// The documents render as written: every relative link and picture in README.md, CHANGELOG.md
// and docs/*.md names a file of the source tree, as a repository's web view resolves it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path sourceDir() {
  const char* dir = std::getenv("TARROW_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

struct Link {
  int line;
  std::string target;
  bool image;
};

// Links and pictures outside code: [text](target), ![alt](target "title"), [id]: target, and
// the src and href of inline HTML.
std::vector<Link> linksOf(const std::filesystem::path& file) {
  static const std::regex inlineLink(R"((!?)\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\))");
  static const std::regex reference(R"(^\s{0,3}\[[^\]]+\]:\s*<?([^\s>]+)>?)");
  static const std::regex html(R"re(<(img|a)\s[^>]*?(?:src|href)="([^"]+)")re");
  static const std::regex codeSpan("`[^`]*`");
  std::ifstream in(file, std::ios::binary);
  std::vector<Link> links;
  std::string text;
  bool fenced = false;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.rfind("```", 0) == 0 || text.rfind("~~~", 0) == 0) {
      fenced = !fenced;
      continue;
    }
    if (fenced) continue;
    text = std::regex_replace(text, codeSpan, "");
    for (std::sregex_iterator m(text.begin(), text.end(), inlineLink), end; m != end; ++m) {
      links.push_back({number, (*m)[2], (*m)[1] == "!"});
    }
    for (std::sregex_iterator m(text.begin(), text.end(), html), end; m != end; ++m) {
      links.push_back({number, (*m)[2], (*m)[1] == "img"});
    }
    std::smatch m;
    if (std::regex_search(text, m, reference)) links.push_back({number, m[1], false});
  }
  return links;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST(DocumentLinks, EveryRelativeLinkAndPictureResolves) {
  const std::filesystem::path root = sourceDir();
  std::vector<std::filesystem::path> files{root / "README.md", root / "CHANGELOG.md"};
  for (const auto& entry : std::filesystem::directory_iterator(root / "docs")) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  static const std::regex scheme("^[A-Za-z][A-Za-z0-9+.-]*:");
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::vector<Link> links = linksOf(file);
    int pictures = 0;
    for (const Link& link : links) {
      if (std::regex_search(link.target, scheme)) continue;  // https:, mailto:
      const std::string path = percentDecoded(link.target.substr(0, link.target.find('#')));
      if (path.empty()) continue;  // a place in the same page
      const std::filesystem::path resolved =
          file.parent_path() / std::filesystem::path(std::u8string(path.begin(), path.end()));
      EXPECT_TRUE(std::filesystem::exists(resolved)) << "line " << link.line << ": " << link.target;
      pictures += link.image;
    }
    // The guides are illustrated; the README shows the animation before its first section.
    if (file.filename().string().rfind("guide.", 0) == 0) {
      EXPECT_GE(pictures, 3);
    }
    if (file.filename() == "README.md") {
      std::ifstream in(file);
      std::stringstream whole;
      whole << in.rdbuf();
      const std::string text = whole.str();
      const size_t animation = text.find("](docs/images/tail.gif)");
      EXPECT_NE(animation, std::string::npos);
      EXPECT_LT(animation, text.find("\n## "));
    }
  }
}

// Every command shown in a code block (a line, or a line after a "$ " prompt) calls the host
// by the path the quick start leaves it at, so that it can be copied and run as it stands.
TEST(DocumentLinks, EveryHostCommandShownRunsAfterTheQuickStart) {
  const std::filesystem::path root = sourceDir();
  std::vector<std::filesystem::path> files{root / "README.md"};
  for (const auto& entry : std::filesystem::directory_iterator(root / "docs")) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  static const std::regex command(R"(^\s*(?:\$ )?(\S*tarrow-host)(?:\s|$))");
  int commands = 0;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    bool fenced = false;
    for (int number = 1; std::getline(in, text); ++number) {
      if (text.rfind("```", 0) == 0) fenced = !fenced;
      std::smatch m;
      if (!fenced || !std::regex_search(text, m, command)) continue;
      EXPECT_EQ(m[1], "build/default/bin/tarrow-host") << file.filename().string() << " line " << number;
      ++commands;
    }
  }
  EXPECT_GT(commands, 0);
}

}  // namespace
