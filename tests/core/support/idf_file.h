// Writes a definition file section into a fresh temporary file and removes it afterwards.
#pragma once

#include <string>

namespace banklore::testing {

class IdfFile {
 public:
  // `body` is the text of the file (section headers included).
  explicit IdfFile(const std::string& body);
  ~IdfFile();
  IdfFile(const IdfFile&) = delete;
  IdfFile& operator=(const IdfFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A path in the test folder that does not exist.
std::string missingFilePath();

}  // namespace banklore::testing
