#include "core/support/definitions.h"

#include <vector>

#include "core/support/idf_file.h"

namespace banklore::testing {

std::unique_ptr<InstrumentDefinition> loadDefinition(const std::string& section,
                                                     SysExSender* port) {
  const IdfFile file("[Test]\n" + section);
  return std::make_unique<InstrumentDefinition>(file.path(), "Test", port);
}

}  // namespace banklore::testing
