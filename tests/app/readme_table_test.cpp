// The README's table of what Banklore does with bad input names, per row, the test that keeps the
// row true: each of those tests must exist, so a row cannot outlive its test unnoticed.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace banklore::testing {
namespace {

const std::filesystem::path kRepository =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

std::string contentsOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// "Suite.Name" of every test named in the table's last column; ".Name" takes the suite before it,
// and a parameterised test's "Prefix/Suite.Name" is its suite and name.
std::vector<std::string> testsNamedInTheTable(const std::string& readme) {
  const auto start = readme.find("## What Banklore does with bad input");
  if (start == std::string::npos) return {};
  const auto end = readme.find("\n## ", start + 1);
  std::istringstream section(readme.substr(start, end - start));
  std::vector<std::string> names;
  std::string suite;
  const std::regex quoted(R"(`\.([A-Za-z]+)`|`([A-Za-z/]+)\.?([A-Za-z]*)`)");
  for (std::string line; std::getline(section, line);) {
    if (!line.starts_with("| ") || line.starts_with("| **")) continue;
    const std::string lastCell = line.substr(line.rfind('|', line.size() - 2));
    for (std::sregex_iterator it(lastCell.begin(), lastCell.end(), quoted), done; it != done;
         ++it) {
      const std::smatch& match = *it;
      if (match[1].matched) {
        names.push_back(suite + "." + match[1].str());
        continue;
      }
      suite = match[2].str();
      if (const auto slash = suite.find('/'); slash != std::string::npos) {
        suite = suite.substr(slash + 1);
      }
      names.push_back(match[3].str().empty() ? suite : suite + "." + match[3].str());
    }
  }
  return names;
}

TEST(ReadmeTableTest, EveryRowNamesATestThatExists) {
  const std::vector<std::string> named =
      testsNamedInTheTable(contentsOf(kRepository / "README.md"));
  ASSERT_GE(named.size(), 20u) << "the table or its test column went missing";
  // The sources without blanks, so that a test's name wrapped onto the next line is found too.
  std::string sources;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kRepository / "tests")) {
    if (entry.path().extension() != ".cpp") continue;
    for (const char c : contentsOf(entry.path())) {
      if (!std::isspace(static_cast<unsigned char>(c))) sources += c;
    }
  }
  for (const std::string& name : named) {
    const auto dot = name.find('.');
    // A suite alone stands for any of its tests.
    const std::string declared = dot == std::string::npos
                                     ? "(" + name + ","
                                     : "(" + name.substr(0, dot) + "," + name.substr(dot + 1) + ")";
    EXPECT_NE(sources.find(declared), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace banklore::testing
