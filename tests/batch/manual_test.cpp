// Every command the script parser knows is described in orvane-batch(1) and
// in the README's table of commands; the list comes from the parser itself,
// so a command added later is checked without anyone listing it here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "batch/parse.h"

namespace orvane::batch {
namespace {

std::string SourceFile(const std::string& relative) {
  std::ifstream in(std::string(ORVANE_FIXTURES) + "/../../" + relative, std::ios::binary);
  EXPECT_TRUE(in) << relative;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The commands a manual page describes: in the SCRIPTS section, the first
// word of each tag of a tagged paragraph (the line after .TP), and the words
// after "|" or "," in it, where a tag gives another spelling.
std::set<std::string> ManualCommands(const std::string& page) {
  std::set<std::string> names;
  std::istringstream in(page);
  std::string line;
  bool scripts = false;
  bool tag_next = false;
  while (std::getline(in, line)) {
    if (line.rfind(".SH", 0) == 0) scripts = line.find("SCRIPTS") != std::string::npos;
    if (!scripts) continue;
    if (tag_next && line.rfind(".", 0) == 0) {
      std::string tag = line.substr(line.find_first_of(" \t") == std::string::npos ? line.size()
                                                                                  : line.find_first_of(" \t"));
      for (const char* drop : {"\\fB", "\\fI", "\\fR", "\\fP", "\\(dq", "\\|", "\""}) tag = Replace(tag, drop, " ");
      tag = Replace(Replace(Replace(tag, "\\-", "-"), "|", " | "), ",", " , ");
      std::istringstream words(tag);
      std::string word;
      bool first = true;
      bool after_separator = false;
      while (words >> word) {
        if (first || after_separator) names.insert(word);
        after_separator = word == "|" || word == ",";
        first = false;
      }
    }
    tag_next = line.rfind(".TP", 0) == 0;
  }
  return names;
}

// The commands of the README's table under "orvane-batch": every `code`
// beginning in a row's first cell.
std::set<std::string> ReadmeCommands(const std::string& readme) {
  std::set<std::string> names;
  const size_t section = readme.find("## orvane-batch");
  std::istringstream in(readme.substr(section == std::string::npos ? readme.size() : section));
  std::string line;
  const std::regex code("`([a-z][a-z0-9-]*)");
  while (std::getline(in, line)) {
    if (line.rfind("| `", 0) != 0) continue;
    const std::string cell = std::regex_replace(line.substr(1), std::regex(R"(\\\|)"), "/");
    const std::string first = cell.substr(0, cell.find('|'));
    for (std::sregex_iterator it(first.begin(), first.end(), code), end; it != end; ++it) {
      names.insert((*it)[1]);
    }
  }
  return names;
}

TEST(Manual, TheParserListsItsCommands) {
  const std::vector<std::string> names = CommandNames();
  const std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size());
  for (const char* known : {"start", "click", "zoom", "results", "rectify", "grid-calibrate"}) {
    EXPECT_TRUE(unique.count(known)) << known;
  }
  for (const std::string& name : names) {
    std::string error;
    ParseLine(name, 1, &error);
    EXPECT_EQ(error.find("unknown command"), std::string::npos) << name << ": " << error;
  }
}

TEST(Manual, EveryCommandIsDocumented) {
  const std::set<std::string> manual = ManualCommands(SourceFile("packaging/orvane-batch.1"));
  const std::set<std::string> readme = ReadmeCommands(SourceFile("README.md"));
  ASSERT_GT(manual.size(), 20u);
  ASSERT_GT(readme.size(), 20u);
  for (const std::string& name : CommandNames()) {
    EXPECT_TRUE(manual.count(name)) << name << " is not described in packaging/orvane-batch.1";
    EXPECT_TRUE(readme.count(name)) << name << " is not in the README's table of orvane-batch commands";
  }
}

} // namespace
} // namespace orvane::batch
