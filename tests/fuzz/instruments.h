// The instrument definitions of the repository's banklore.idf, plus the built-in one, for the
// harnesses that cut files into patches: real layouts, so that real dumps in the seeds are found.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/instrument_definition.h"
#include "platform/profile.h"

namespace banklore::fuzz {

inline std::vector<std::string> instrumentNames() {
  std::vector<std::string> names = sectionNames(BANKLORE_IDF);
  names.push_back("Built-in");  // no such section: every built-in value
  return names;
}

inline std::vector<std::unique_ptr<InstrumentDefinition>>& instruments() {
  static std::vector<std::unique_ptr<InstrumentDefinition>> all = [] {
    std::vector<std::unique_ptr<InstrumentDefinition>> made;
    for (const std::string& name : instrumentNames()) {
      made.push_back(std::make_unique<InstrumentDefinition>(BANKLORE_IDF, name, nullptr));
    }
    return made;
  }();
  return all;
}

}  // namespace banklore::fuzz
