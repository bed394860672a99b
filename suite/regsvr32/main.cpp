// regsvr32 [/s] [/u] PATH: loads the library at PATH and calls its
// DllRegisterServer (or, with /u, DllUnregisterServer). Without /s it says
// in one line how that went. Exit codes: 0 done, 1 bad command line,
// 2 the library does not load, 3 it lacks the entry point, 4 the entry
// point reported a failure.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "suite/player/embedded_player.h"

namespace {

bool is_switch(std::string_view arg, char letter) {
  return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') &&
         (arg[1] == letter || arg[1] == letter - 'a' + 'A');
}

}  // namespace

int main(int argc, char** argv) {
  bool silent = false;
  bool unregister = false;
  std::string path;
  int paths = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (is_switch(arg, 's')) {
      silent = true;
    } else if (is_switch(arg, 'u')) {
      unregister = true;
    } else if (!arg.empty() && arg[0] == '/' && arg.size() == 2) {
      if (!silent) std::fprintf(stderr, "regsvr32：无法识别的选项 %s\n", argv[i]);
      return 1;
    } else {
      path = argv[i];
      ++paths;
    }
  }
  if (paths != 1 || path.empty()) {
    if (!silent) std::fprintf(stderr, "用法：regsvr32 [/s] [/u] 库文件路径\n");
    return 1;
  }

  // An absolute path, so that the library records where it really is and
  // dlopen does not search the library path for a bare name.
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) path = resolved;

  const char* entry = unregister ? tav::suite::kUnregisterServerSymbol
                                 : tav::suite::kRegisterServerSymbol;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (!silent) {
      const char* why = ::dlerror();
      std::fprintf(stderr, "无法加载模块 %s：%s\n", path.c_str(), why ? why : "未知错误");
    }
    return 2;
  }
  auto fn = reinterpret_cast<tav::suite::RegisterServerFn>(::dlsym(handle, entry));
  if (!fn) {
    if (!silent) std::fprintf(stderr, "模块 %s 中找不到入口点 %s。\n", path.c_str(), entry);
    return 3;
  }
  const int result = fn();
  if (result != 0) {
    if (!silent) std::fprintf(stderr, "模块 %s 中的 %s 失败，错误代码 %d。\n", path.c_str(), entry, result);
    return 4;
  }
  if (!silent) std::printf("%s 中的 %s 已成功。\n", path.c_str(), entry);
  // The library is left loaded: unloading Qt and libmpv at exit gains nothing.
  return 0;
}
