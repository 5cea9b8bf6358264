// The tavrix executable. The process host (settings file, switches, service
// and local-server modes, logging) grows here; for now it answers --help and
// --version.
#include <cstdio>
#include <cstring>

namespace {

void PrintUsage() {
  std::printf(
      "Usage: tavrix [--help] [--version]\n"
      "Tavrix collects data from industrial controllers into a history database.\n"
      "  --help      print this text and exit\n"
      "  --version   print the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavrix %s\n", TAVRIX_VERSION);
      return 0;
    }
  }
  std::fprintf(stderr,
               "tavrix: the server's process host is not built yet; only --help and --version "
               "work in this version.\n");
  return 2;
}
