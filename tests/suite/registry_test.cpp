// The per-user component registry and the regsvr32 tool.
#include <gtest/gtest.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "suite/registry/file_component_registry.h"
#include "suite_support.h"

namespace {

using suite_test::fs::path;
using tav::suite::FileComponentRegistry;
using tav::suite::kPlayerClassId;

// Runs a command; its exit code and what it printed.
std::pair<int, std::string> run(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, {}};
  std::array<char, 512> buffer{};
  while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Each test gets its own XDG_CONFIG_HOME.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = suite_test::fresh_folder("config");
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  path file() const { return config_ / "tavori-suite" / "registry.ini"; }
  path config_;
};

TEST_F(RegistryTest, DefaultFileFollowsXdgConfigHomeOrHome) {
  EXPECT_EQ(FileComponentRegistry::default_file(), file().string());
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(FileComponentRegistry::default_file(),
            std::string(getenv("HOME")) + "/.config/tavori-suite/registry.ini");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(FileComponentRegistry::default_file(),
            std::string(getenv("HOME")) + "/.config/tavori-suite/registry.ini");
}

TEST_F(RegistryTest, RegisterCreateUnregisterRoundTrip) {
  FileComponentRegistry registry;
  EXPECT_FALSE(registry.can_create(kPlayerClassId));
  EXPECT_EQ(registry.library_of(kPlayerClassId), "");

  ASSERT_TRUE(registry.register_class(kPlayerClassId, SUITE_LIBRARY));
  EXPECT_EQ(registry.library_of(kPlayerClassId), SUITE_LIBRARY);
  // Class ids are GUIDs: case does not matter.
  EXPECT_EQ(registry.library_of("CLSID:f3d0d36f-23f8-4682-a195-74c92b03d4af"), SUITE_LIBRARY);
  EXPECT_TRUE(registry.can_create(kPlayerClassId)) << registry.problem(kPlayerClassId);
  EXPECT_EQ(suite_test::read_file(file()),
            std::string(kPlayerClassId) + "=" + SUITE_LIBRARY + "\n");

  // A second registration replaces the first instead of adding a line.
  ASSERT_TRUE(registry.register_class(kPlayerClassId, SUITE_LIBRARY));
  EXPECT_EQ(suite_test::read_file(file()),
            std::string(kPlayerClassId) + "=" + SUITE_LIBRARY + "\n");

  ASSERT_TRUE(registry.unregister_class(kPlayerClassId));
  EXPECT_EQ(registry.library_of(kPlayerClassId), "");
  EXPECT_FALSE(registry.can_create(kPlayerClassId));
  EXPECT_TRUE(registry.unregister_class(kPlayerClassId));  // nothing left to remove

  // Written through temporary files that do not stay behind.
  for (const auto& entry : suite_test::fs::directory_iterator(file().parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry.ini" || name == "registry.ini.lock") << name;
  }
}

TEST_F(RegistryTest, OtherLinesAndClassesAreKept) {
  suite_test::write_file(file(), "# made by hand\r\nclsid:AAAA=/opt/a.so\r\nnot a record\n");
  FileComponentRegistry registry;
  ASSERT_TRUE(registry.register_class(kPlayerClassId, "/opt/b.dll"));
  ASSERT_TRUE(registry.register_class("clsid:aaaa", "/opt/c.so"));
  EXPECT_EQ(suite_test::read_file(file()),
            "# made by hand\nclsid:aaaa=/opt/c.so\nnot a record\n" + std::string(kPlayerClassId) +
                "=/opt/b.dll\n");
  ASSERT_TRUE(registry.unregister_class(kPlayerClassId));
  EXPECT_EQ(registry.library_of("clsid:AAAA"), "/opt/c.so");
}

TEST_F(RegistryTest, RefusesBadIdsAndPaths) {
  FileComponentRegistry registry;
  EXPECT_FALSE(registry.register_class("F3D0D36F", SUITE_LIBRARY));
  EXPECT_FALSE(registry.register_class("clsid:", SUITE_LIBRARY));
  EXPECT_FALSE(registry.register_class("clsid:a=b", SUITE_LIBRARY));
  EXPECT_FALSE(registry.register_class(kPlayerClassId, "relative/QvodInsert.dll"));
  EXPECT_FALSE(registry.register_class(kPlayerClassId, "/a\nclsid:evil=/tmp/x.so"));
  EXPECT_FALSE(suite_test::fs::exists(file()));
}

TEST_F(RegistryTest, DeletedOrBrokenLibraryIsNotCreatable) {
  const path folder = suite_test::fresh_folder("libs");
  const path copy = folder / "QvodInsert.dll";
  suite_test::fs::copy_file(SUITE_LIBRARY, copy);
  FileComponentRegistry registry;
  ASSERT_TRUE(registry.register_class(kPlayerClassId, copy.string()));
  suite_test::fs::remove(copy);
  EXPECT_FALSE(registry.can_create(kPlayerClassId));
  EXPECT_NE(registry.problem(kPlayerClassId).find("missing"), std::string::npos);

  // A file that is not a library at all.
  suite_test::write_file(copy, "MZ not an ELF file");
  EXPECT_FALSE(registry.can_create(kPlayerClassId));
  EXPECT_NE(registry.problem(kPlayerClassId).find("does not load"), std::string::npos);

  // A real library, but without the player factory: libcurl.
  Dl_info info{};
  ASSERT_TRUE(dladdr(reinterpret_cast<void*>(&curl_version), &info));
  ASSERT_TRUE(registry.register_class(kPlayerClassId, info.dli_fname));
  EXPECT_FALSE(registry.can_create(kPlayerClassId));
  EXPECT_NE(registry.problem(kPlayerClassId).find("QvodCreatePlayer"), std::string::npos);
}

TEST_F(RegistryTest, Regsvr32RegistersAndUnregistersTheLibrary) {
  const std::string tool = SUITE_REGSVR32;
  // As the program starts it: the path first, then /s.
  auto [code, out] = run("'" + tool + "' '" + SUITE_LIBRARY + "' /s");
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out, "");
  FileComponentRegistry registry;
  EXPECT_EQ(registry.library_of(kPlayerClassId), SUITE_LIBRARY);
  EXPECT_TRUE(registry.can_create(kPlayerClassId)) << registry.problem(kPlayerClassId);

  std::tie(code, out) = run("'" + tool + "' /u '" + SUITE_LIBRARY + "'");
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("DllUnregisterServer"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_EQ(registry.library_of(kPlayerClassId), "");

  // A relative path is recorded as the absolute one.
  const path folder = path(SUITE_LIBRARY).parent_path();
  std::tie(code, out) = run("cd '" + folder.string() + "' && '" + tool + "' /s QvodInsert.dll");
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(registry.library_of(kPlayerClassId), SUITE_LIBRARY);
}

TEST_F(RegistryTest, Regsvr32ReportsFailures) {
  const std::string tool = SUITE_REGSVR32;
  EXPECT_EQ(run("'" + tool + "'").first, 1);
  EXPECT_EQ(run("'" + tool + "' /s").first, 1);
  auto [code, out] = run("'" + tool + "' /s /nonexistent/QvodInsert.dll");
  EXPECT_EQ(code, 2);
  EXPECT_EQ(out, "");
  const path text = suite_test::fresh_folder("notlib") / "x.dll";
  suite_test::write_file(text, "not a library");
  std::tie(code, out) = run("'" + tool + "' '" + text.string() + "'");
  EXPECT_EQ(code, 2);
  EXPECT_NE(out.find(text.string()), std::string::npos);
  EXPECT_FALSE(suite_test::fs::exists(file()));
}

}  // namespace
