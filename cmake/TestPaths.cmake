# banklore_test_paths: the paths of tests/support/test_paths.h, written into one generated source
# of this build, and the option that forces that header into every source of a target linking it.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/test-tmp)
file(WRITE ${PROJECT_BINARY_DIR}/test_paths.cpp.in [=[
namespace banklore::test_paths {
extern const char* const kTestTmpDir = "@PROJECT_BINARY_DIR@/test-tmp";
extern const char* const kRealdataDir = "@PROJECT_SOURCE_DIR@/../shared/realdata";
extern const char* const kIdf = "@PROJECT_SOURCE_DIR@/instruments/banklore.idf";
extern const char* const kCli = "@PROJECT_BINARY_DIR@/bin/banklore-cli";
extern const char* const kVirtualSynth = "@PROJECT_BINARY_DIR@/bin/banklore-virtual-synth";
}  // namespace banklore::test_paths
]=])
configure_file(${PROJECT_BINARY_DIR}/test_paths.cpp.in ${PROJECT_BINARY_DIR}/test_paths.cpp @ONLY)
add_library(banklore_test_paths STATIC ${PROJECT_BINARY_DIR}/test_paths.cpp)
target_compile_options(banklore_test_paths INTERFACE
  "SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/test_paths.h")
