// Where the tests find the scratch folder, the real dumps, the definition file and the programs.
// Forced into every test source (-include) and filled in by one generated source of the build:
// an absolute path passed as -D would make every test object depend on where the tree is checked
// out, and the compiler cache could not share them between clones. A folder that still passes its
// own -D keeps it.
#pragma once

namespace banklore::test_paths {
extern const char* const kTestTmpDir;
extern const char* const kRealdataDir;
extern const char* const kIdf;
extern const char* const kCli;
extern const char* const kVirtualSynth;
}  // namespace banklore::test_paths

#ifndef BANKLORE_TEST_TMPDIR
#define BANKLORE_TEST_TMPDIR (::banklore::test_paths::kTestTmpDir)
#endif
#ifndef BANKLORE_REALDATA_DIR
#define BANKLORE_REALDATA_DIR (::banklore::test_paths::kRealdataDir)
#endif
#ifndef BANKLORE_IDF
#define BANKLORE_IDF (::banklore::test_paths::kIdf)
#endif
#ifndef BANKLORE_CLI
#define BANKLORE_CLI (::banklore::test_paths::kCli)
#endif
#ifndef BANKLORE_VIRTUAL_SYNTH
#define BANKLORE_VIRTUAL_SYNTH (::banklore::test_paths::kVirtualSynth)
#endif
